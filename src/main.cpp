// Start-up of the program. Until the main window exists this shows the main
// list of an empty project.
#include "core/engine.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora Sentrova"));
    MonitorEngine engine;
    QTableView view;
    view.setWindowTitle(QStringLiteral("Velmora Sentrova"));
    view.setModel(engine.model());
    view.horizontalHeader()->setStretchLastSection(true);
    view.resize(640, 400);
    view.show();
    return app.exec();
}
