#include "places/wine_prefixes_linux.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class tst_WinePrefixesLinux : public QObject {
    Q_OBJECT

private slots:
    void lutrisPrefixes_data();
    void lutrisPrefixes();
    void winePrefixes_data();
    void winePrefixes();
};

void tst_WinePrefixesLinux::lutrisPrefixes_data() {
    QTest::addColumn<QByteArray>("gameFile");
    QTest::addColumn<QStringList>("prefixes");

    QTest::newRow("Lutris's layout, tilde, every prefix key")
        << QByteArray("game:\n  exe: /x.exe\n  prefix: /home/ann/Games/mirc\nwine:\n"
                      "  prefix:\t~/Games/x/ \r\nprefix: /home/ann//C#/./y # note")
        << QStringList{"/home/ann/Games/mirc", "/home/ann/Games/x", "/home/ann/C#/y"};
    QTest::newRow("quotes and Python's escapes")
        << QByteArray("a: {prefix: '/a/Ann''s #1'}  # c\nb: {prefix: '~'}\nc: {prefix: \"~/x\"}\n"
                      "prefix: \"/zo\\xEB/\\u00e9\\U0001F600/a\\\\b\\\"c\\/d\"\n")
        << QStringList{"/a/Ann's #1", "/home/ann", "/home/ann/x",
                       QString::fromUtf8("/zo\u00eb/\u00e9\U0001F600/a\\b\"c/d")};
    QTest::newRow("null, relative, other keys and places")
        << QByteArray("a: {prefix: }\nb: {prefix: ~}\nc: {prefix: NULL}\nd:\n  prefix: # c\n"
                      "e: {prefix: Games/x}\nf: {prefix: ~bob/x}\nwineprefix: /a\n"
                      "g: prefix:/b\n# prefix: /c\nexe: 'prefix: /d'\n"
                      "h: [prefix, /f]\n? prefix\n")
        << QStringList{};
    QTest::newRow("values over several lines, anchors, nested and flow mappings")
        << QByteArray("a:\n  prefix: '/a\n    b'\nb:\n  prefix: \"/c\\\n    d\"\n"
                      "c: {prefix: &p /e}\nd: {prefix: *p, x: {y: {prefix: /f}}}\n"
                      "e: {prefix: [/g], prefix2: /h}\n")
        << QStringList{"/a b", "/cd", "/e", "/f"};
    QTest::newRow("not YAML: none, though a line looks right")
        << QByteArray("game:\n  prefix: /ok\n  exe: \"/\\q\"\n") << QStringList{};
}

void tst_WinePrefixesLinux::lutrisPrefixes() {
    QFETCH(QByteArray, gameFile);
    QFETCH(QStringList, prefixes);
    QCOMPARE(places::lutrisPrefixes(std::string_view(gameFile.constData(), gameFile.size()),
                                    "/home/ann"),
             prefixes);
}

void tst_WinePrefixesLinux::winePrefixes_data() {
    // Each line lays out one thing in the made-up home: "PATH" a prefix, "PATH/" a plain folder,
    // "PATH -> TARGET" a link, "PATH <- TEXT" a file; $HOME stands for the home folder.
    QTest::addColumn<QStringList>("layout");
    QTest::addColumn<QString>("winePrefixEnv");
    QTest::addColumn<QStringList>("found"); // NAME=PATH, the path relative to home

    const QString bottles = ".local/share/bottles/bottles/";
    const QString flatpak = ".var/app/com.usebottles.bottles/data/bottles/bottles/";
    const QString steam = ".local/share/Steam/steamapps/compatdata/";
    const QString steamLink = ".steam/steam/steamapps/compatdata/";
    const QString lutris = ".config/lutris/games/";
    const QString lutrisData = ".local/share/lutris/games/";

    QTest::newRow("an empty home") << QStringList{} << QString() << QStringList{};
    QTest::newRow("folders without dosdevices")
        << QStringList{".wine/drive_c/", bottles + "B/",          bottles + "F <- x",
                       "Games/native/",  ".cxoffice/installers/", steam + "440/pfx/"}
        << "$HOME/gone" << QStringList{};
    QTest::newRow("~/.wine plainly, though $WINEPREFIX is missing")
        << QStringList{".wine"} << "$HOME/gone" << QStringList{"=.wine"};
    QTest::newRow("$WINEPREFIX first, ~/.wine by name")
        << QStringList{".wine", "w"} << "$HOME/w" << QStringList{"=w", "~/.wine=.wine"};
    QTest::newRow("$WINEPREFIX linked to ~/.wine, or a bottle, once")
        << QStringList{".wine", "link -> $HOME/.wine", bottles + "B"} << "$HOME/link/"
        << QStringList{"=link", "B=" + bottles + "B"};
    QTest::newRow("Bottles, native and Flatpak, a link between them once")
        << QStringList{bottles + "mIRC", bottles + "Chat Room", flatpak + "Flat",
                       flatpak + "mIRC -> $HOME/" + bottles + "mIRC"}
        << QString()
        << QStringList{"Chat Room=" + bottles + "Chat Room", "mIRC=" + bottles + "mIRC",
                       "Flat=" + flatpak + "Flat"};
    QTest::newRow("Lutris games by slug, then ~/Games")
        << QStringList{".wine",
                       lutris + "mirc-1612345678.yml <- game:\n  prefix: ~/Games/m\n",
                       lutris + "w-1.yml <- prefix: ~/.wine",
                       lutrisData + "hex-2.yml <- prefix: ~/h",
                       lutrisData + "n.txt <- prefix: ~/n",
                       "Games/m",
                       "Games/n",
                       "h",
                       "n",
                       "Games/w -> $HOME/.wine"}
        << QString() << QStringList{"=.wine", "mirc=Games/m", "hex=h", "n=Games/n"};
    QTest::newRow("Steam's Proton in app-ID order, ~/.steam/steam a link")
        << QStringList{steam + "2000/pfx", steam + "440/pfx", steam + "0/",
                       ".steam/steam -> $HOME/.local/share/Steam", steamLink + "9/pfx"}
        << QString()
        << QStringList{"Steam 9=" + steam + "9/pfx", "Steam 440=" + steam + "440/pfx",
                       "Steam 2000=" + steam + "2000/pfx"};
    QTest::newRow("every kind in order, each prefix once")
        << QStringList{".wine",
                       ".cxoffice/c",
                       ".PlayOnLinux/wineprefix/p",
                       steamLink + "1/pfx",
                       "Games/l",
                       bottles + "b",
                       steam + "2/pfx -> $HOME/.cxoffice/c"}
        << "$HOME/.wine" << QStringList{"=.wine",        "b=" + bottles + "b",
                                        "l=Games/l",     "p=.PlayOnLinux/wineprefix/p",
                                        "c=.cxoffice/c", "Steam 1=" + steamLink + "1/pfx"};
    QTest::newRow("one name from several tools")
        << QStringList{bottles + "mIRC",
                       flatpak + "mIRC",
                       "p1",
                       "p2",
                       ".cxoffice/mIRC",
                       lutris + "mIRC-1.yml <- prefix: ~/p1",
                       lutris + "mIRC-2.yml <- prefix: ~/p2"}
        << QString()
        << QStringList{"mIRC=" + bottles + "mIRC", "mIRC (Bottles)=" + flatpak + "mIRC",
                       "mIRC (Lutris)=p1", "mIRC (Lutris 2)=p2", "mIRC (CrossOver)=.cxoffice/mIRC"};
}

void tst_WinePrefixesLinux::winePrefixes() {
    QFETCH(QStringList, layout);
    QFETCH(QString, winePrefixEnv);
    QFETCH(QStringList, found);

    QTemporaryDir temporary;
    QVERIFY(temporary.isValid());
    const QDir home(temporary.path());
    const auto inHome = [&](QString text) { return text.replace("$HOME", home.path()); };
    for (const QString& line : layout) {
        const QString path = home.filePath(line.section(QRegularExpression(" (->|<-) "), 0, 0));
        QVERIFY(home.mkpath(QFileInfo(path).path()));
        if (line.contains(" -> ")) {
            QVERIFY(QFile::link(inHome(line.section(" -> ", 1)), path));
        } else if (line.contains(" <- ")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(inHome(line.section(" <- ", 1)).toUtf8()) >= 0);
        } else {
            QVERIFY(home.mkpath(line.endsWith('/') ? path : path + "/dosdevices"));
        }
    }

    QStringList got;
    for (const places::WinePrefix& prefix :
         places::winePrefixes(home.path(), inHome(winePrefixEnv)))
        got << prefix.name + '=' + home.relativeFilePath(prefix.path);
    QCOMPARE(got, found);
}

QTEST_GUILESS_MAIN(tst_WinePrefixesLinux)
#include "tst_wine_prefixes_linux.moc"
