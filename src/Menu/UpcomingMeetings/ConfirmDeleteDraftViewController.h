#pragma once

#include <QVariantMap>
#include <QWidget>

class QPushButton;

// The confirmation over a draft's Delete button: keep the draft, or remove it from the stored
// drafts (nothing is sent to the service).
class ConfirmDeleteDraftViewController : public QWidget {
    Q_OBJECT
public:
    explicit ConfirmDeleteDraftViewController(const QVariantMap& meeting,
                                              QWidget* parent = nullptr);
    ~ConfirmDeleteDraftViewController() override;

    const QVariantMap& meeting() const { return m_meeting; }

    void keepDraft();
    void confirmDeleteDraft(QPushButton* sender);

    QPushButton* deleteDraftButton() const { return m_deleteDraft; }
    QPushButton* keepDraftButton() const { return m_keepDraft; }

private:
    QVariantMap m_meeting;
    QPushButton* m_deleteDraft = nullptr;
    QPushButton* m_keepDraft = nullptr;
};
