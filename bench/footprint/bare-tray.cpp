// bare-tray: the yardstick of the footprint benchmark. One tray icon whose click opens a small
// menu, and nothing else: what any Qt tray program costs on this machine.
#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap pixmap(22, 22);
    pixmap.fill(QColor(12, 97, 254));
    QSystemTrayIcon tray{QIcon(pixmap)};

    QMenu menu;
    // Like the application's popovers: the click that closes the menu does not reopen it.
    menu.setAttribute(Qt::WA_NoMouseReplay);
    menu.addAction(QStringLiteral("Join a meeting"));
    menu.addAction(QStringLiteral("Start my meeting"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Quit"), &app, &QApplication::quit);

    QObject::connect(&tray, &QSystemTrayIcon::activated, &menu,
                     [&menu](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger)
                             menu.popup(QCursor::pos());
                     });
    tray.show();
    return app.exec();
}
