#pragma once

#include "EditOptionsView.h"

#include <QListView>
#include <QPointer>

class UpcomingMeetingsItemDelegate;
class UpcomingMeetingsListModel;

// The upcoming-meetings list: a plain virtualized list (rows are painted, never widgets), with
// one options strip widget laid over the row whose strip is open. The strip follows its row
// when the list scrolls and goes away when the rows are rebuilt.
class UpcomingMeetingsListView : public QListView {
    Q_OBJECT
public:
    explicit UpcomingMeetingsListView(QWidget* parent = nullptr);

    UpcomingMeetingsListModel* meetingsModel() const { return m_model; }
    EditOptionsView* editOptions() const { return m_editOptions; }

    // Opens the strip on `row`, or closes it when it is open there already. A strip open on
    // another row closes first.
    void toggleOptionsStrip(int row);
    void closeOptionsStrip();
    // The strip's frame for `row` in viewport coordinates.
    QRect stripRect(int row) const;

Q_SIGNALS:
    // A left button press on a row (header or meeting).
    void rowPressed(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void placeStrip();
    void rehoverUnderPointer();

    UpcomingMeetingsListModel* m_model = nullptr;
    UpcomingMeetingsItemDelegate* m_delegate = nullptr;
    QPointer<EditOptionsView> m_editOptions;
};
