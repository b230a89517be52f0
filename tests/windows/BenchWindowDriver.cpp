// The bench window run as knsimtool.exe runs it for "--bench" (the same
// command line, the same run, closed by the same requests), printing each row
// of its table whenever what the row shows changes, so that a test in another
// process reads what the person sees:
//
//   bench_window_driver --bench --port COM7
//   row COM7|KNWIN0007|v1.1.0|3 - ISO9141|1|off|0||ready, firmware update due
//
// The cells are in the table's order, separated by "|".

#include "app/BenchProgram.h"
#include "app/BenchWindow.h"
#include "app/StartOptions.h"
#include "app/WindowProgram.h"

#include <QAbstractItemModel>
#include <QTableWidget>

#include <cstdio>
#include <map>

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    TStartOptions options;
    QString error;
    if (!ParseCommandLine(arguments, options, error) || !options.Bench) {
        std::fprintf(stderr, "usage: bench_window_driver --bench [--port NAME,NAME,...] %s\n",
                     error.toLocal8Bit().constData());
        return 2;
    }
    std::map<int, QString> printed;
    return RunBenchProgram(options, [&printed](TBenchWindow& bench) {
        auto* table = bench.findChild<QTableWidget*>(QStringLiteral("BenchRows"));
        if (!table) return;
        QObject::connect(table->model(), &QAbstractItemModel::dataChanged, table,
                         [table, &printed](const QModelIndex& from, const QModelIndex& to) {
                             for (int row = from.row(); row <= to.row(); ++row) {
                                 QStringList cells;
                                 for (int column = 0; column < table->columnCount(); ++column) {
                                     const QTableWidgetItem* item = table->item(row, column);
                                     cells << (item ? item->text() : QString());
                                 }
                                 const QString line = cells.join(QLatin1Char('|'));
                                 if (printed[row] == line) continue;
                                 printed[row] = line;
                                 std::printf("row %s\n", line.toLocal8Bit().constData());
                                 std::fflush(stdout);
                             }
                         });
    });
}
