// Where the log goes on Windows: beside the program, unless others may write there.

#include "ui/log_folder_windows.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

#include <aclapi.h>
#include <memory>
#include <sddl.h>

namespace {

bool setDacl(const QString& folder, const QString& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            reinterpret_cast<const wchar_t*>(sddl.utf16()), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring name = QDir::toNativeSeparators(folder).toStdWString();
    return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

// The folder's DACL in SDDL, as the system keeps it.
QString daclOf(const QString& folder) {
    const std::wstring name = QDir::toNativeSeparators(folder).toStdWString();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    const QString dacl = QString::fromWCharArray(text);
    LocalFree(text);
    return dacl;
}

} // namespace

class tst_LogFolderWindows : public QObject {
    Q_OBJECT

private slots:
    void othersWhoMayWriteSendTheLogAway_data();
    void othersWhoMayWriteSendTheLogAway();
};

void tst_LogFolderWindows::othersWhoMayWriteSendTheLogAway_data() {
    QTest::addColumn<QString>("dacl");
    QTest::addColumn<bool>("beside");
    // OW is the folder's owner, this user; WD everyone, BU the users of the machine.
    QTest::newRow("this user alone") << "D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)" << true;
    QTest::newRow("everyone may read") << "D:P(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;WD)" << true;
    QTest::newRow("everyone may write") << "D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;WD)" << false;
    QTest::newRow("users may add files") << "D:P(A;OICI;FA;;;OW)(A;OICI;0x2;;;BU)" << false;
}

void tst_LogFolderWindows::othersWhoMayWriteSendTheLogAway() {
    QFETCH(QString, dacl);
    QFETCH(bool, beside);
    QTemporaryDir program;
    if (!setDacl(program.path(), dacl))
        QSKIP("this file system keeps no ACL");
    // Wine keeps what the Unix mode can say: the owner and everyone, not the machine's users.
    if (dacl.contains(QStringLiteral(";BU)")) &&
        !daclOf(program.path()).contains(QStringLiteral(";BU)")))
        QSKIP("this file system keeps no ACL entry for the machine's users");
    const QString local = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
    QVERIFY(!local.isEmpty());
    QCOMPARE(logFolderFor(program.path()),
             beside ? program.path() : local + QStringLiteral("/morvane-patch"));
    setDacl(program.path(), QStringLiteral("D:P(A;OICI;FA;;;OW)")); // so that it can go
}

QTEST_MAIN(tst_LogFolderWindows)
#include "tst_log_folder_windows.moc"
