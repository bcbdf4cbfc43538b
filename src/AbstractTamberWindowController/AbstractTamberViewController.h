#pragma once

#include <QPointer>
#include <QWidget>

class AbstractPopover;

// The content of a popover. Subclasses put the keyboard focus where the user starts typing
// (focusPopover) and prepare themselves just before the popover appears (popoverWillShow).
class AbstractTamberViewController : public QWidget {
    Q_OBJECT
public:
    explicit AbstractTamberViewController(QWidget* parent = nullptr);
    ~AbstractTamberViewController() override;

    AbstractPopover* popover() const;
    void setPopover(AbstractPopover* popover);

    virtual void focusPopover() {}
    virtual void popoverWillShow() {}

protected:
    // Logs the DEALLOC line once with the most derived class name; concrete controllers call it
    // first thing in their destructor.
    void logDealloc(const QString& suffix = QString());

private:
    QPointer<AbstractPopover> m_popover;
    bool m_deallocLogged = false;
};
