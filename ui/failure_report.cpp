#include "ui/failure_report.h"

#include "controls/message_box.h"
#include "ui/program_title.h"

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <system_error>

namespace {

void report(int number, const QString& description) {
    controls::messageBox(
        nullptr, programTitle,
        QStringLiteral("The program met a failure it cannot recover from and will now "
                       "close.\n\nError number: %1\nDescription: %2")
            .arg(number)
            .arg(description),
        QMessageBox::Critical, QMessageBox::Ok);
    // Hiding rather than closing keeps the last-window-closed rule from overriding the exit code.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(EXIT_FAILURE);
}

} // namespace

int failureNumber(const std::exception& failure) noexcept {
    if (const auto* systemError = dynamic_cast<const std::system_error*>(&failure))
        return systemError->code().value();
    return 0;
}

void reportFailure(const std::exception& failure) {
    report(failureNumber(failure), QString::fromUtf8(failure.what()));
}

void reportUnknownFailure() {
    report(0, QStringLiteral("An unknown failure occurred."));
}
