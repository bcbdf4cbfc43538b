#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/CustomTextFieldFormatter.h"
#include "AbstractTamberWindowController/NSTextFieldClickable.h"
#include "AbstractTamberWindowController/TamberImageView.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Platform/NotificationCenter.h"
#include "PostedNotifications.h"
#include "Scheduler/SchedulerPopover.h"
#include "Scheduler/SchedulerViewController.h"
#include "TestEnvironment.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleHints>
#include <memory>

namespace {

const QStringList kPopoverNames{QStringLiteral("SHOW_TAMBER_POPOVER"),
                                QStringLiteral("CLOSE_TAMBER_POPOVER")};

// A press on the widget with an explicit event time, as the window system would deliver it.
void pressAt(QWidget* widget, quint64 timestamp, const QPoint& local = QPoint(10, 10),
             QEvent::Type type = QEvent::MouseButtonPress) {
    QMouseEvent press(type, QPointF(local), QPointF(widget->mapToGlobal(local)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    press.setTimestamp(timestamp);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(local),
                        QPointF(widget->mapToGlobal(local)), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    release.setTimestamp(timestamp + 1);
    QCoreApplication::sendEvent(widget, &release);
}

} // namespace

class tst_Popovers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placementUnderAboveAndClamped();
    void placementAtCursorWithoutAnchor();
    void menuIsTransientAndPostsOnlyItsClose();
    void schedulerStaysOpenAndPostsShowThenClose();
    void menuViewTakesItsFrameOnce();
    void tenthClickOfOneRunOpensOptions();
    void hexColours();
    void textFieldErrorStateAndLength();
    void clickableTextEmitsOnClickInside();
};

void tst_Popovers::placementUnderAboveAndClamped() {
    const QSize size(360, 260);
    // A top panel of 24 pixels: the available area starts below it.
    const QRect topPanelScreen(0, 24, 1280, 776);
    const QPoint farCursor(0, 0);

    // Icon in the middle of a top panel: centred under it, 4 pixels below.
    QRect r = AbstractPopover::placement(size, QRect(600, 0, 24, 24), farCursor, topPanelScreen);
    QCOMPARE(r.size(), size);
    QCOMPARE(r.left() + r.width() / 2, 600 + 24 / 2);
    QCOMPARE(r.top(), 28);

    // Icon in the top right corner: pushed left so that the right edge stays on screen.
    r = AbstractPopover::placement(size, QRect(1250, 0, 24, 24), farCursor, topPanelScreen);
    QCOMPARE(r.right(), topPanelScreen.right());
    QCOMPARE(r.top(), 28);

    // Icon at the top left: pushed right to the screen's left edge.
    r = AbstractPopover::placement(size, QRect(2, 0, 24, 24), farCursor, topPanelScreen);
    QCOMPARE(r.left(), 0);

    // Bottom panel (outside the available area): above the icon, still inside the screen.
    const QRect bottomPanelScreen(0, 0, 1280, 776);
    r = AbstractPopover::placement(size, QRect(1200, 776, 24, 24), farCursor, bottomPanelScreen);
    QCOMPARE(r.bottom(), 776 - 4 - 1);
    QVERIFY(bottomPanelScreen.contains(r));

    // Vertical panel on the right, icon half way down: below it, pulled inside horizontally.
    const QRect rightPanelScreen(0, 0, 1240, 800);
    r = AbstractPopover::placement(size, QRect(1250, 300, 24, 24), farCursor, rightPanelScreen);
    QVERIFY(rightPanelScreen.contains(r));
    QCOMPARE(r.top(), 300 + 24 + 4);

    // A popover taller than the screen keeps its top (the title and first fields) visible.
    r = AbstractPopover::placement(QSize(300, 1000), QRect(600, 0, 24, 24), farCursor,
                                   topPanelScreen);
    QCOMPARE(r.top(), topPanelScreen.top());

    // A second screen to the right of the first: clamped to that screen, not to the origin.
    const QRect secondScreen(1280, 0, 1920, 1080);
    r = AbstractPopover::placement(size, QRect(3180, 0, 20, 20), farCursor, secondScreen);
    QCOMPARE(r.right(), secondScreen.right());
    QVERIFY(secondScreen.contains(r));
}

void tst_Popovers::placementAtCursorWithoutAnchor() {
    const QSize size(360, 260);
    const QRect screen(0, 0, 1280, 800);
    // No icon geometry (most Linux trays): centred under the cursor.
    QRect r = AbstractPopover::placement(size, QRect(), QPoint(640, 300), screen);
    QCOMPARE(r.left() + r.width() / 2, 640);
    QCOMPARE(r.top(), 304);
    // Cursor near the bottom edge: above the cursor.
    r = AbstractPopover::placement(size, QRect(), QPoint(640, 790), screen);
    QCOMPARE(r.bottom(), 790 - 4 - 1);
    // Cursor in the bottom right corner: above and pulled left, inside the screen.
    r = AbstractPopover::placement(size, QRect(), QPoint(1279, 799), screen);
    QVERIFY(screen.contains(r));
    QVERIFY(r.bottom() < 799);

    // On the real screen: an empty anchor places the window at the cursor, inside the screen.
    QCursor::setPos(QPoint(100, 100));
    const QRect onScreen = AbstractPopover::placementOnScreen(size, QRect());
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(available.contains(onScreen), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                          .arg(onScreen.x())
                                                          .arg(onScreen.y())
                                                          .arg(onScreen.width())
                                                          .arg(onScreen.height())));
}

void tst_Popovers::menuIsTransientAndPostsOnlyItsClose() {
    PostedNotifications log(kPopoverNames);
    QWidget elsewhere;
    elsewhere.setGeometry(900, 500, 200, 150);
    elsewhere.show();
    QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));

    LogSpy logs;
    auto popover = std::make_unique<MenuPopover>();
    int postedAtClose = -1;
    connect(popover.get(), &AbstractPopover::popoverClosed, this,
            [&] { postedAtClose = int(log.names.size()); });
    popover->showPopover(QRect(100, 0, 24, 24));
    QVERIFY(popover->isVisible());
    QVERIFY(popover->isTransient());
    QCOMPARE(popover->windowType(), Qt::Popup);
    QCOMPARE(popover->geometry().top(), 28);
    QVERIFY(QTest::qWaitForWindowExposed(popover.get()));

    // Clicks inside do not close it.
    QTest::mouseClick(popover->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(popover->isVisible());

    // A click in another window of the application closes it (through the window system, as
    // the popup routing lives there).
    QTest::mouseClick(elsewhere.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
    QTRY_VERIFY(!popover->isVisible());
    QVERIFY(popover->hasClosed());
    // Posted after the close, never during it; the show posted nothing.
    QCOMPARE(postedAtClose, 0);
    QTRY_COMPARE(log.names, QStringList{QStringLiteral("CLOSE_TAMBER_POPOVER")});
    QVERIFY(logs.contains(Log::Debug, QStringLiteral("Showing <MenuPopover: 0x"), true));
    QVERIFY(logs.contains(Log::Debug, QStringLiteral("Popover did close from abstract popover")));
    QVERIFY(!logs.contains(Log::Debug, QStringLiteral("Popover did show from abstract popover")));

    // Closed and released at once, as the controller does: the notification still goes out.
    popover = std::make_unique<MenuPopover>();
    popover->showPopover(QRect());
    popover->hidePopover();
    popover.reset();
    QVERIFY(
        logs.contains(Log::Verbose, QStringLiteral("******** DEALLOC: <MenuPopover: 0x"), true));
    QVERIFY(logs.contains(Log::Verbose, QStringLiteral("******** DEALLOC: <MenuViewController: 0x"),
                          true));
    QCOMPARE(log.names.size(), 1);
    QTRY_COMPARE(log.names.size(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(log.names, (QStringList{QStringLiteral("CLOSE_TAMBER_POPOVER"),
                                     QStringLiteral("CLOSE_TAMBER_POPOVER")}));
}

void tst_Popovers::schedulerStaysOpenAndPostsShowThenClose() {
    PostedNotifications log(kPopoverNames);
    LogSpy logs;
    QWidget elsewhere;
    elsewhere.setGeometry(900, 500, 200, 150);
    elsewhere.show();
    QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));

    const QVariantMap meeting{{QStringLiteral("id"), 42},
                              {QStringLiteral("title"), QStringLiteral("Design review")}};
    SchedulerPopover popover(meeting);
    popover.showPopover(QRect());
    QVERIFY(popover.isVisible());
    QVERIFY(!popover.isTransient());
    QVERIFY(popover.windowType() != Qt::Popup);
    // The meeting reached the content before the popover appeared.
    QCOMPARE(popover.schedulerViewController()->meeting(), meeting);
    auto* title = popover.findChild<QLineEdit*>(QStringLiteral("meetingTitleField"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("Design review"));

    QVERIFY(log.names.isEmpty()); // not during the show itself
    QVERIFY(logs.contains(Log::Debug, QStringLiteral("Scheduler pop over did show")));
    QVERIFY(logs.contains(Log::Debug, QStringLiteral("Popover did show from abstract popover")));
    QCoreApplication::processEvents();
    QCOMPARE(log.names, QStringList{QStringLiteral("SHOW_TAMBER_POPOVER")});

    // Working elsewhere in the application leaves it open.
    QTest::mouseClick(elsewhere.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
    QCoreApplication::processEvents();
    QVERIFY(popover.isVisible());

    popover.hidePopover();
    QVERIFY(!popover.isVisible());
    QCOMPARE(log.names.size(), 1);
    QTRY_COMPARE(log.names, kPopoverNames);
    // Closing twice (icon click after its own button) posts nothing more.
    popover.hidePopover();
    QCoreApplication::processEvents();
    QCOMPARE(log.names, kPopoverNames);
}

void tst_Popovers::menuViewTakesItsFrameOnce() {
    MenuPopover popover;
    TamberMenuView* view = popover.menuViewController()->menuView();
    const QSize before = view->size();
    QVERIFY(!view->isVisibleTo(&popover));
    popover.showPopover(QRect(300, 0, 24, 24));
    // The show made the first-draw adjustment: inset in the frame, 4 pixels taller, visible.
    QVERIFY(view->firstDrawDone());
    QVERIFY(view->isVisible());
    QCOMPARE(view->pos(), QPoint(TamberMenuView::kInset, TamberMenuView::kInset));
    QCOMPARE(view->height(), before.height() + TamberMenuView::kExtraHeight);
    // Later calls change nothing.
    QVERIFY(!view->updateActualRectInSuperViewIfRequired());
    QCOMPARE(view->height(), before.height() + TamberMenuView::kExtraHeight);
    // The whole menu view lies inside the popover window.
    QVERIFY(popover.rect().contains(
        view->geometry().translated(view->parentWidget()->mapTo(&popover, QPoint(0, 0)))));
    popover.hidePopover();
}

void tst_Popovers::tenthClickOfOneRunOpensOptions() {
    PostedNotifications log({QStringLiteral("SHOWAPPLICATIONSERVEROPTIONS")});
    TamberImageView logo;
    logo.resize(64, 64);
    logo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&logo));
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const quint64 step = quint64(interval / 3);
    quint64 t = 1'000'000;

    // Nine quick clicks, with the double-click events Qt adds after every second press.
    for (int i = 1; i <= 9; ++i) {
        pressAt(&logo, t += step);
        if (i % 2 == 0) {
            pressAt(&logo, t, QPoint(10, 10), QEvent::MouseButtonDblClick);
        }
    }
    QVERIFY(log.names.isEmpty());
    pressAt(&logo, t += step); // tenth
    QCOMPARE(log.names.size(), 1);
    pressAt(&logo, t += step); // eleventh of the same run
    pressAt(&logo, t += step);
    QCOMPARE(log.names.size(), 1);

    // A pause longer than the double-click interval starts a new run.
    t += quint64(interval) + 50;
    for (int i = 1; i <= 9; ++i) {
        pressAt(&logo, t += step);
    }
    t += quint64(interval) + 1; // broken just before the tenth
    pressAt(&logo, t);
    QCOMPARE(log.names.size(), 1);
    for (int i = 2; i <= 10; ++i) {
        pressAt(&logo, t += step);
    }
    QCOMPARE(log.names.size(), 2);

    // Clicks far apart are not one run, however fast.
    t += quint64(interval) * 2;
    for (int i = 1; i <= 10; ++i) {
        pressAt(&logo, t += step, i % 2 ? QPoint(5, 5) : QPoint(55, 55));
    }
    QCOMPARE(log.names.size(), 2);
}

void tst_Popovers::hexColours() {
    const QColor grey = AbstractPopover::colorWithHexColorString(QStringLiteral("666666"));
    QCOMPARE(grey.red(), 102);
    QCOMPARE(grey.green(), 102);
    QCOMPARE(grey.blue(), 102);
    QCOMPARE(grey.alpha(), 255);
    QCOMPARE(AbstractPopover::colorWithHexColorString(), QColor(0, 0, 0, 255));
    QCOMPARE(AbstractPopover::colorWithHexColorString(QStringLiteral("0x0C61fE")),
             QColor(0x0c, 0x61, 0xfe));
    // Reading stops at the first character that is not a hex digit.
    QCOMPARE(AbstractPopover::colorWithHexColorString(QStringLiteral(" ff0000zz99")),
             QColor(255, 0, 0));
    QCOMPARE(AbstractPopover::colorWithHexColorString(QStringLiteral("#123456")), QColor(0, 0, 0));
    // Too many digits saturate rather than wrap.
    QCOMPARE(AbstractPopover::colorWithHexColorString(QStringLiteral("123456789abc")),
             QColor(255, 255, 255));
}

void tst_Popovers::textFieldErrorStateAndLength() {
    CustomTextField field;
    field.show();
    // New fields are "in error" but draw nothing until the state changes.
    QVERIFY(field.state());
    QVERIFY(!field.showsErrorBorder());
    field.setState(true);
    QVERIFY(!field.showsErrorBorder());
    field.setState(false);
    QVERIFY(!field.showsErrorBorder());
    field.setState(true);
    QVERIFY(field.showsErrorBorder());
    field.setState(false);
    QVERIFY(!field.showsErrorBorder());

    // The formatter refuses an edit that would pass the maximum; the text stays as it was.
    field.setMaxLength(4);
    QVERIFY(field.formatter());
    QCOMPARE(field.formatter()->maxLength(), 4);
    field.setMaxLength(5);
    QCOMPARE(field.findChildren<CustomTextFieldFormatter*>().size(), 1);
    field.setFocus();
    QTest::keyClicks(&field, QStringLiteral("1234567"));
    QCOMPARE(field.text(), QStringLiteral("12345"));

    // The plain-label look cannot be edited; the editable look can again.
    field.setLabelLook(true);
    QTest::keyClicks(&field, QStringLiteral("x"));
    QCOMPARE(field.text(), QStringLiteral("12345"));
    field.setLabelLook(false);
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(field.text(), QStringLiteral("1234"));

    // Return and performClick both send the field's action.
    QSignalSpy action(&field, &CustomTextField::action);
    QTest::keyClick(&field, Qt::Key_Return);
    field.performClick();
    QCOMPARE(action.count(), 2);
}

void tst_Popovers::clickableTextEmitsOnClickInside() {
    NSTextFieldClickable link(QStringLiteral("Forgot password?"));
    link.resize(140, 20);
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    QSignalSpy clicked(&link, &NSTextFieldClickable::clicked);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(clicked.count(), 1);
    // Pressed inside, released outside: no click.
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(300, 10));
    QCOMPARE(clicked.count(), 1);
    link.setEnabled(false);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(clicked.count(), 1);
}

TAMBER_TEST_MAIN_GUI(tst_Popovers)
#include "tst_Popovers.moc"
