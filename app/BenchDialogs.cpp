#include "BenchDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QProcess>

BenchDialogs StandardBenchDialogs() {
    BenchDialogs d;
    const QString filter = QStringLiteral("KNSimTool set-ups (*.kns);;All files (*)");
    d.ApplyFile = [filter](QWidget& parent) {
        return QFileDialog::getOpenFileName(&parent, QStringLiteral("Apply set-up to the boxes"), QString(), filter);
    };
    d.SavePattern = [filter](QWidget& parent) {
        return QFileDialog::getSaveFileName(&parent, QStringLiteral("Save each box as ({serial}, {port})"),
                                            QStringLiteral("{serial}.kns"), filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    d.ConfirmForcedUpdate = [](QWidget& parent, int count) {
        return QMessageBox::question(&parent, QStringLiteral("Force update"),
                                     QStringLiteral("Update the firmware of %1 box(es), whatever they hold? "
                                                    "You will be asked to press each box's reset button.")
                                         .arg(count)) == QMessageBox::Yes;
    };
    d.Refused = [](QWidget& parent, const QString& text) {
        QMessageBox::critical(&parent, QStringLiteral("KNSimTool bench"), text);
    };
    d.OpenMain = [](const std::string& port, std::function<void()> done) {
        auto* process = new QProcess(qApp);
        QObject::connect(process, &QProcess::finished, process, [process, done] {
            done();
            process->deleteLater();
        });
        QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) return;
            done();
            process->deleteLater();
        });
        process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--port"), QString::fromLatin1(port)});
    };
    return d;
}
