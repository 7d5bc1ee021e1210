#include "ui/failure_report.h"

#include <QTest>
#include <filesystem>
#include <stdexcept>
#include <system_error>

class tst_FailureReport : public QObject {
    Q_OBJECT

private slots:
    void failureNumber();
};

void tst_FailureReport::failureNumber() {
    QCOMPARE(::failureNumber(std::system_error(std::make_error_code(std::errc::permission_denied))),
             EACCES);
    QCOMPARE(::failureNumber(std::filesystem::filesystem_error(
                 "open", std::make_error_code(std::errc::no_such_file_or_directory))),
             ENOENT);
    QCOMPARE(::failureNumber(std::runtime_error("no number")), 0);
}

QTEST_GUILESS_MAIN(tst_FailureReport)
#include "tst_failure_report.moc"
