#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/CustomTextFieldFormatter.h"
#include "AbstractTamberWindowController/NSTextFieldClickable.h"
#include "AbstractTamberWindowController/TamberImageView.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "GuiSuite.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Scheduler/SchedulerPopover.h"
#include "Scheduler/SchedulerViewController.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleHints>

using namespace Qt::StringLiterals;

namespace {

const QStringList kPopoverNames{u"SHOW_TAMBER_POPOVER"_s, u"CLOSE_TAMBER_POPOVER"_s};

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
    void placement_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("anchor"); // empty: none (most Linux trays), the cursor instead
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("placed");
        const QSize size(360, 260);
        // A top panel of 24 pixels: the available area starts below it. Centred under the icon,
        // 4 pixels below, pushed inside at the screen's edges.
        const QRect topPanel(0, 24, 1280, 776);
        QTest::newRow("top panel, middle")
            << size << QRect(600, 0, 24, 24) << QPoint() << topPanel << QRect(432, 28, 360, 260);
        QTest::newRow("top panel, right corner")
            << size << QRect(1250, 0, 24, 24) << QPoint() << topPanel << QRect(920, 28, 360, 260);
        QTest::newRow("top panel, left corner")
            << size << QRect(2, 0, 24, 24) << QPoint() << topPanel << QRect(0, 28, 360, 260);
        // A bottom panel lies outside the available area: above the icon.
        QTest::newRow("bottom panel") << size << QRect(1200, 776, 24, 24) << QPoint()
                                      << QRect(0, 0, 1280, 776) << QRect(920, 512, 360, 260);
        QTest::newRow("right panel, half way down")
            << size << QRect(1250, 300, 24, 24) << QPoint() << QRect(0, 0, 1240, 800)
            << QRect(880, 328, 360, 260);
        // Taller than the screen: the top (the title and first fields) stays visible.
        QTest::newRow("taller than the screen")
            << QSize(300, 1000) << QRect(600, 0, 24, 24) << QPoint() << topPanel
            << QRect(462, 24, 300, 1000);
        QTest::newRow("second screen, right corner")
            << size << QRect(3180, 0, 20, 20) << QPoint() << QRect(1280, 0, 1920, 1080)
            << QRect(2840, 24, 360, 260);
        const QRect screen(0, 0, 1280, 800);
        QTest::newRow("cursor") << size << QRect() << QPoint(640, 300) << screen
                                << QRect(460, 304, 360, 260);
        QTest::newRow("cursor near the bottom")
            << size << QRect() << QPoint(640, 790) << screen << QRect(460, 526, 360, 260);
        QTest::newRow("cursor in the bottom right corner")
            << size << QRect() << QPoint(1279, 799) << screen << QRect(920, 535, 360, 260);
    }

    void placement() {
        QFETCH(QSize, size);
        QFETCH(QRect, anchor);
        QFETCH(QPoint, cursor);
        QFETCH(QRect, available);
        QFETCH(QRect, placed);
        QCOMPARE(AbstractPopover::placement(size, anchor, cursor, available), placed);
    }

    void menuIsTransientAndPostsOnlyItsClose() {
        PostedNotifications log(kPopoverNames);
        QWidget elsewhere;
        elsewhere.setGeometry(900, 500, 200, 150);
        QVERIFY(GuiSuite::showAndExpose(&elsewhere));

        LogSpy logs;
        auto popover = std::make_unique<MenuPopover>();
        TamberMenuView* view = popover->menuViewController()->menuView();
        const QSize before = view->size();
        QVERIFY(!view->isVisibleTo(popover.get()));
        int postedAtClose = -1;
        connect(popover.get(), &AbstractPopover::popoverClosed, this,
                [&] { postedAtClose = int(log.names.size()); });
        popover->showPopover(QRect(100, 0, 24, 24));
        QVERIFY(popover->isVisible() && popover->isTransient());
        QCOMPARE(popover->windowType(), Qt::Popup);
        QCOMPARE(popover->geometry().top(), 28);
        QVERIFY(QTest::qWaitForWindowExposed(popover.get()));
        // The show made the menu view's first-draw adjustment once: inset in the frame, taller,
        // visible, and wholly inside the window.
        QVERIFY(view->firstDrawDone() && view->isVisible());
        QCOMPARE(view->pos(), QPoint(TamberMenuView::kInset, TamberMenuView::kInset));
        QVERIFY(!view->updateActualRectInSuperViewIfRequired());
        QCOMPARE(view->height(), before.height() + TamberMenuView::kExtraHeight);
        QVERIFY(popover->rect().contains(
            view->geometry().translated(view->parentWidget()->mapTo(popover.get(), QPoint()))));

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
        QTRY_COMPARE(log.names, QStringList{u"CLOSE_TAMBER_POPOVER"_s});
        QVERIFY(logs.contains(Log::Debug, u"Showing <MenuPopover: 0x"_s, true));
        QVERIFY(logs.contains(Log::Debug, u"Popover did close from abstract popover"_s));
        QVERIFY(!logs.contains(Log::Debug, u"Popover did show from abstract popover"_s));

        // Hidden past a quick reopen, it gives back its native window and backing store; shown
        // again, it builds them anew.
        QTRY_VERIFY(!popover->testAttribute(Qt::WA_WState_Created));
        popover->showPopover(QRect(100, 0, 24, 24));
        QVERIFY(QTest::qWaitForWindowExposed(popover.get()) && popover->isVisible());
        popover->hidePopover();
        QTRY_COMPARE(log.names.size(), 2);
        log.names.removeLast();

        // Closed and released at once, as the controller does: the notification still goes out.
        // Without an anchor it opens at the cursor, inside the screen.
        QCursor::setPos(QPoint(100, 100));
        popover = std::make_unique<MenuPopover>();
        popover->showPopover(QRect());
        QVERIFY(
            QGuiApplication::primaryScreen()->availableGeometry().contains(popover->geometry()));
        popover->hidePopover();
        popover.reset();
        QVERIFY(logs.contains(Log::Verbose, u"******** DEALLOC: <MenuPopover: 0x"_s, true));
        QVERIFY(logs.contains(Log::Verbose, u"******** DEALLOC: <MenuViewController: 0x"_s, true));
        QCOMPARE(log.names.size(), 1);
        QTRY_COMPARE(log.names.size(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(log.names, (QStringList{u"CLOSE_TAMBER_POPOVER"_s, u"CLOSE_TAMBER_POPOVER"_s}));
    }

    void schedulerStaysOpenAndPostsShowThenClose() {
        PostedNotifications log(kPopoverNames);
        LogSpy logs;
        QWidget elsewhere;
        elsewhere.setGeometry(900, 500, 200, 150);
        QVERIFY(GuiSuite::showAndExpose(&elsewhere));

        const QVariantMap meeting{{u"id"_s, 42}, {u"title"_s, u"Design review"_s}};
        SchedulerPopover popover(meeting);
        popover.showPopover(QRect());
        QVERIFY(popover.isVisible() && !popover.isTransient() && popover.windowType() != Qt::Popup);
        // The meeting reached the content before the popover appeared.
        QCOMPARE(popover.schedulerViewController()->meeting(), meeting);
        auto* title = popover.findChild<QLineEdit*>(u"meetingTitleField"_s);
        QVERIFY(title);
        QCOMPARE(title->text(), u"Design review"_s);

        QVERIFY(log.names.isEmpty()); // not during the show itself
        QVERIFY(logs.contains(Log::Debug, u"Scheduler pop over did show"_s));
        QVERIFY(logs.contains(Log::Debug, u"Popover did show from abstract popover"_s));
        QCoreApplication::processEvents();
        QCOMPARE(log.names, QStringList{u"SHOW_TAMBER_POPOVER"_s});

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

    void tenthClickOfOneRunOpensOptions() {
        PostedNotifications log({u"SHOWAPPLICATIONSERVEROPTIONS"_s});
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

    void hexColours_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("grey") << u"666666"_s << QColor(102, 102, 102, 255);
        QTest::newRow("none") << QString() << QColor(0, 0, 0, 255);
        QTest::newRow("0x prefix, mixed case") << u"0x0C61fE"_s << QColor(0x0c, 0x61, 0xfe);
        // Reading stops at the first character that is not a hex digit.
        QTest::newRow("trailing junk") << u" ff0000zz99"_s << QColor(255, 0, 0);
        QTest::newRow("hash") << u"#123456"_s << QColor(0, 0, 0);
        // Too many digits saturate rather than wrap.
        QTest::newRow("too many digits") << u"123456789abc"_s << QColor(255, 255, 255);
    }

    void hexColours() {
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        QCOMPARE(AbstractPopover::colorWithHexColorString(text), colour);
    }

    void textFieldErrorStateAndLength() {
        CustomTextField field;
        field.show();
        // New fields are "in error" but draw nothing until the state changes.
        QVERIFY(field.state() && !field.showsErrorBorder());
        for (const auto& [state, border] : std::initializer_list<std::pair<bool, bool>>{
                 {true, false}, {false, false}, {true, true}, {false, false}}) {
            field.setState(state);
            QCOMPARE(field.showsErrorBorder(), border);
        }
        // The formatter refuses an edit that would pass the maximum; the text stays as it was.
        field.setMaxLength(4);
        field.setMaxLength(5);
        QCOMPARE(field.findChildren<CustomTextFieldFormatter*>().size(), 1);
        field.setFocus();
        QTest::keyClicks(&field, u"1234567"_s);
        QCOMPARE(field.text(), u"12345"_s);

        // The plain-label look cannot be edited; the editable look can again.
        field.setLabelLook(true);
        QTest::keyClicks(&field, u"x"_s);
        QCOMPARE(field.text(), u"12345"_s);
        field.setLabelLook(false);
        field.setFocus();
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), u"1234"_s);

        // Return and performClick both send the field's action.
        QSignalSpy action(&field, &CustomTextField::action);
        QTest::keyClick(&field, Qt::Key_Return);
        field.performClick();
        QCOMPARE(action.count(), 2);
    }

    void clickableTextEmitsOnClickInside() {
        NSTextFieldClickable link(u"Forgot password?"_s);
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
};

TAMBER_TEST_MAIN_GUI(tst_Popovers)
#include "tst_Popovers.moc"
