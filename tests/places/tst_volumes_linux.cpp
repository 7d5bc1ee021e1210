#include "places/mount_table_linux.h"
#include "places/wine_prefixes_linux.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_VolumesLinux : public QObject {
    Q_OBJECT

private slots:
    void userMounts_data();
    void userMounts();
    void volumeText_data();
    void volumeText();
    void wineDrives();
};

void tst_VolumesLinux::userMounts_data() {
    QTest::addColumn<QString>("mountInfo");
    QTest::addColumn<QStringList>("mountPoints");
    QTest::addColumn<QStringList>("sources");

    const QString root = "21 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    QTest::newRow("root alone is not repeated") << root << QStringList{} << QStringList{};
    QTest::newRow("removable and local disks, sorted")
        << root + "40 21 8:17 / /media/usb rw,nosuid shared:7 - vfat /dev/sdb1 rw\n"
                  "41 21 8:2 / /home rw shared:2 - ext4 /dev/sda2 rw\n"
                  "42 21 8:33 / /run/media/ann/DISK rw - exfat /dev/sdc1 rw\n"
                  "43 21 8:49 / /mnt rw - xfs /dev/sdd1 rw\n"
        << QStringList{"/home", "/media/usb", "/mnt", "/run/media/ann/DISK"}
        << QStringList{"/dev/sda2", "/dev/sdb1", "/dev/sdd1", "/dev/sdc1"};
    QTest::newRow("pseudo and system mounts left out")
        << root + "22 21 0:20 / /proc rw - proc proc rw\n"
                  "23 21 0:21 / /sys rw - sysfs sysfs rw\n"
                  "24 21 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
                  "25 21 0:22 / /mnt/ram rw - tmpfs tmpfs rw\n"
                  "26 21 7:0 / /media/snap rw - squashfs /dev/loop0 ro\n"
                  "27 21 0:30 / /home/ann/merged rw - overlay overlay rw\n"
                  "28 21 0:31 / /home/cg rw - cgroup2 cgroup2 rw\n"
                  "29 21 8:3 / /boot/efi rw - vfat /dev/sda3 rw\n"
        << QStringList{} << QStringList{};
    QTest::newRow("bind mounts of files and subtrees left out")
        << root + "30 21 8:1 /etc/hosts /mnt/hosts rw - ext4 /dev/sda1 rw\n"
                  "31 21 8:1 /srv/data /home/ann/data rw - ext4 /dev/sda1 rw\n"
        << QStringList{} << QStringList{};
    QTest::newRow("octal escapes and optional fields")
        << root + "44 21 8:17 / /media/My\\040Disk rw,nosuid shared:7 master:3 - vfat "
                  "/dev/sdb1 rw\n"
        << QStringList{"/media/My Disk"} << QStringList{"/dev/sdb1"};
    QTest::newRow("a mount point mounted over keeps its top mount")
        << root + "45 21 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
                  "46 45 0:40 / /media/usb rw - tmpfs tmpfs rw\n"
        << QStringList{} << QStringList{};
    QTest::newRow("malformed lines skipped")
        << root + "garbage\n47 21 8:17 / /media/usb\n\n48 21 8:18 / /media/ok rw - ext4 "
                  "/dev/sdb2 rw"
        << QStringList{"/media/ok"} << QStringList{"/dev/sdb2"};
    QTest::newRow("places need a whole name")
        << root + "49 21 8:17 / /homework rw - ext4 /dev/sdb1 rw\n"
        << QStringList{} << QStringList{};
}

void tst_VolumesLinux::userMounts() {
    QFETCH(QString, mountInfo);
    QFETCH(QStringList, mountPoints);
    QFETCH(QStringList, sources);

    const QByteArray text = mountInfo.toUtf8();
    QStringList gotPoints;
    QStringList gotSources;
    for (const places::Mount& mount :
         places::userMounts(std::string_view(text.constData(), text.size()))) {
        gotPoints << mount.mountPoint;
        gotSources << mount.source;
    }
    QCOMPARE(gotPoints, mountPoints);
    QCOMPARE(gotSources, sources);
}

void tst_VolumesLinux::volumeText_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::newRow("mount with label") << "/media/usb"
                                      << "BACKUP"
                                      << "/media/usb [BACKUP]";
    QTest::newRow("wine letter") << "c:"
                                 << "Wine"
                                 << "c: [Wine]";
    QTest::newRow("no label") << "/"
                              << ""
                              << "/";
}

void tst_VolumesLinux::volumeText() {
    QFETCH(QString, name);
    QFETCH(QString, label);
    QFETCH(QString, text);
    QCOMPARE(places::volumeText({"/", name, label}), text);
}

void tst_VolumesLinux::wineDrives() {
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QDir dir(prefix.path());
    QVERIFY(dir.mkpath("drive_c/users"));
    QVERIFY(dir.mkpath("dosdevices"));
    QVERIFY(dir.mkpath("scripts"));
    QFile label(dir.filePath("scripts/.windows-label"));
    QVERIFY(label.open(QIODevice::WriteOnly));
    label.write("MIRC\n");
    label.close();
    const QString dosDevices = dir.filePath("dosdevices");
    QVERIFY(QFile::link("../drive_c", dosDevices + "/c:"));
    QVERIFY(QFile::link(dir.filePath("scripts"), dosDevices + "/e:"));
    QVERIFY(QFile::link(dir.filePath("gone"), dosDevices + "/f:"));
    QVERIFY(QFile::link("/", dosDevices + "/z:"));
    QVERIFY(QFile::link("/dev/null", dosDevices + "/d::")); // a raw device, not a drive
    QVERIFY(QFile::link("/", dosDevices + "/com1"));

    QStringList texts;
    QStringList roots;
    for (const places::Volume& volume : places::wineDrives(dosDevices)) {
        texts << places::volumeText(volume);
        roots << volume.root;
    }
    QCOMPARE(texts, (QStringList{"c: [Wine]", "e: [MIRC]", "f:", "z:"}));
    QCOMPARE(roots, (QStringList{dir.filePath("drive_c"), dir.filePath("scripts"),
                                 dir.filePath("gone"), "/"}));
    QVERIFY(places::wineDrives(dir.filePath("no-such-prefix")).empty());

    // Letters of a named prefix all carry the name, so that two prefixes' c: stay apart.
    texts.clear();
    for (const places::Volume& volume : places::wineDrives(dosDevices, "mIRC"))
        texts << places::volumeText(volume);
    QCOMPARE(texts, (QStringList{"c: [Wine: mIRC]", "e: [Wine: mIRC, MIRC]", "f: [Wine: mIRC]",
                                 "z: [Wine: mIRC]"}));
}

QTEST_GUILESS_MAIN(tst_VolumesLinux)
#include "tst_volumes_linux.moc"
