#include "PreferencesViewController.h"

#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AbstractTamberWindowController/ResultIcon.h"
#include "Analytics/AnalyticsController.h"
#include "Logging/Log.h"
#include "Models/LogUploader.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Updater.h"
#include "Platform/UrlOpener.h"
#include "PreferencesView.h"
#include "ProfilePicture.h"
#include "Reminders/ReminderSettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>

namespace {

const QString kScreen = QStringLiteral("PreferencesViewController");
const QString kNoEncryption = QStringLiteral("NO_ENCRYPTION");
const QString kEncryptedOnly = QStringLiteral("ENCRYPTED_ONLY");
const QString kEncryptedOrPstn = QStringLiteral("ENCRYPTED_OR_PSTN_ONLY");

// The one upload of all preferences pages.
QPointer<LogUploader> g_upload;

using Model = TamberDataModel;

// The six plain room switches besides "publishMeeting", control and field.
struct Switch {
    QCheckBox* PreferencesView::*box;
    QVariant Model::*field;
};
constexpr Switch kSwitches[] = {
    {&PreferencesView::publishMeeting, &Model::publishMeeting},
    {&PreferencesView::showParticipantNames, &Model::showAllParticipantsInIcs},
    {&PreferencesView::cropVideo, &Model::videoBestFit},
    {&PreferencesView::moderatorLessMeeting, &Model::isModeratorLess},
    {&PreferencesView::disableChatMessaging, &Model::disallowChat},
    {&PreferencesView::muteParticipantsOnEntry, &Model::muteParticipantsOnEntry},
    {&PreferencesView::silentParticipationEntryMode, &Model::isLargeMeeting},
};

const QStringList kCalendars{QStringLiteral("velora_calendar"), QStringLiteral("outlook_calendar"),
                             QStringLiteral("apple_calendar"), QStringLiteral("ics_calendar")};

QString textOf(const QVariant& value) {
    return Model::isPresent(value) ? value.toString() : QString();
}

// The message of a failed call: the service's own words when it sent any.
QString describeFailure(const std::optional<ServiceError>& error, const QString& fallback) {
    return error && !error->description.isEmpty() ? error->description : fallback;
}

} // namespace

PreferencesViewController::PreferencesViewController(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("preferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 0, 12, 12);
    m_view = new PreferencesView(this);
    layout->addWidget(m_view);
    connectActions();
    showPlaceholderPicture();
    // Filled once the page is on screen.
    MainQueue::async(this, [this] { updateProfileDetails(); });
}

PreferencesViewController::~PreferencesViewController() {
    if (g_upload) {
        delete g_upload.data();
        g_upload = nullptr;
    }
    TLOG_DEBUG(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

QObject* PreferencesViewController::runningUpload() {
    return g_upload;
}

void PreferencesViewController::connectActions() {
    PreferencesView* v = m_view;
    connect(v, &QTabWidget::currentChanged, this, &PreferencesViewController::tabChanged);
    connect(v->encryptMeeting, &QCheckBox::clicked, this,
            &PreferencesViewController::toggleEncryptMeeting);
    connect(v->updateRoomSettingsButton, &QPushButton::clicked, this,
            &PreferencesViewController::updateDefaultSettings);
    connect(v->refreshSettingsButton, &QPushButton::clicked, this,
            &PreferencesViewController::refreshAllUserSettings);
    connect(v->calender, &QComboBox::activated, this,
            &PreferencesViewController::calenderBeingChanged);
    connect(v->reminderLeadTime, &QComboBox::activated, this,
            &PreferencesViewController::reminderChoiceChanged);
    connect(v->checkForUpdates, &QPushButton::clicked, this,
            &PreferencesViewController::checkForUpdates);
    connect(v->signOut, &QPushButton::clicked, this,
            &PreferencesViewController::signOutButtonAction);
    connect(v->quit, &QPushButton::clicked, this, &PreferencesViewController::quitButtonAction);
    connect(v->uploadLogData, &QPushButton::clicked, this,
            &PreferencesViewController::uploadLogData);
    connect(v->giveUsFeedback, &QPushButton::clicked, this,
            &PreferencesViewController::provideFeedback);
    connect(v->contactSupport, &QPushButton::clicked, this,
            &PreferencesViewController::contactSupport);
}

void PreferencesViewController::showMessage(QLabel* line, const QString& text) {
    line->setText(text);
    line->setVisible(!text.isEmpty());
}

// --- Profile ---

void PreferencesViewController::updateProfileDetails() {
    const Model* model = Model::sharedData();
    PreferencesView* v = m_view;
    v->appVersion->setText(QCoreApplication::applicationVersion());
    const QString name =
        QStringLiteral("%1 %2").arg(textOf(model->firstName), textOf(model->lastName)).trimmed();
    v->name->setText(name);
    v->name->setToolTip(name);
    v->email->setText(textOf(model->email));
    v->email->setToolTip(textOf(model->email));
    v->meetingID->setText(textOf(model->numericId));
    v->participantPasscode->setText(textOf(model->participantPasscode));
    v->moderatorPasscode->setText(textOf(model->moderatorPasscode));
    // The calendar choice sits on this tab too.
    showCalendar();
    showReminderChoice();
    const QString picture = textOf(model->profilePicture);
    if (!picture.isEmpty() && picture != QLatin1String("default"))
        fetchPicture();
    showRoomDefaults();
}

void PreferencesViewController::fetchPicture() {
    // A download still running from the last fill gives way to this one.
    delete findChild<ProfilePicture*>(QString(), Qt::FindDirectChildrenOnly);
    auto* download = new ProfilePicture(this);
    ProgressIndicator* spinner = m_view->refreshAggregatedUserSettingsIndicator;
    spinner->setVisible(true);
    spinner->startAnimation();
    const auto done = [this, download, spinner] {
        download->deleteLater();
        if (m_view->refreshSettingsButton->isEnabled()) {
            spinner->stopAnimation();
            spinner->setVisible(false);
        }
    };
    connect(download, &ProfilePicture::loaded, this, [this, done](const QImage& round) {
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap = QPixmap::fromImage(round.scaled(
            QSize(PreferencesView::kPictureSide, PreferencesView::kPictureSide) * ratio,
            Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(ratio);
        m_view->profilePicture->setPixmap(pixmap);
        m_view->profilePicture->setProperty("pictureSource", round.size());
        done();
    });
    // The picture stays as it was; the spinner stops all the same.
    connect(download, &ProfilePicture::failed, this, done);
    download->fetch(Model::profilePictureURL());
}

// Initials on a grey disc until (or unless) the real picture arrives.
void PreferencesViewController::showPlaceholderPicture() {
    const int side = PreferencesView::kPictureSide;
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xdd, 0xe1, 0xe7));
    painter.drawEllipse(QRectF(0, 0, side, side));
    const Model* model = Model::sharedData();
    const QString initials =
        (textOf(model->firstName).left(1) + textOf(model->lastName).left(1)).toUpper();
    QFont font = painter.font();
    font.setPixelSize(side / 3);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x5f, 0x66, 0x70));
    painter.drawText(QRectF(0, 0, side, side), Qt::AlignCenter, initials);
    painter.end();
    m_view->profilePicture->setPixmap(pixmap);
}

// --- Room defaults ---

void PreferencesViewController::showRoomDefaults() {
    const Model* model = Model::sharedData();
    for (const Switch& s : kSwitches)
        (m_view->*s.box)->setChecked(Model::booleanReading(model->*s.field));
    const QString type = textOf(model->encryptionType);
    const bool encrypted = type != kNoEncryption;
    m_view->encryptMeeting->setChecked(encrypted);
    // The stored choice, so that sending the shown values never changes it unasked.
    showTelephoneChoice(encrypted, type == kEncryptedOrPstn ? 0 : 1);
}

void PreferencesViewController::showTelephoneChoice(bool encrypted, int column) {
    QButtonGroup* group = m_view->allowTelephone;
    group->setExclusive(false);
    for (QAbstractButton* cell : group->buttons()) {
        cell->setChecked(encrypted && group->id(cell) == column);
        cell->setEnabled(encrypted);
    }
    group->setExclusive(true);
}

void PreferencesViewController::writeRoomDefaults() {
    Model* model = Model::sharedData();
    for (const Switch& s : kSwitches)
        model->*s.field = (m_view->*s.box)->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (!m_view->encryptMeeting->isChecked())
        model->encryptionType = kNoEncryption;
    else
        model->encryptionType =
            m_view->allowTelephone->checkedId() == 0 ? kEncryptedOrPstn : kEncryptedOnly;
}

void PreferencesViewController::tabChanged(int index) {
    QString label = m_view->tabText(index);
    if (label.remove(QLatin1Char('&')).toUpper() == QLatin1String("SETTINGS"))
        fetchRoomSettingDetails();
}

void PreferencesViewController::showCalendar() {
    // A value this platform does not offer (a file from a Mac) shows the first item and stays
    // stored until the user picks another.
    const int index = m_view->calender->findData(
        int(kCalendars.indexOf(textOf(Model::sharedData()->calendar)) + 1));
    m_view->calender->setCurrentIndex(index >= 0 ? index : 0);
}

void PreferencesViewController::showReminderChoice() {
    const std::optional<int> lead = ReminderSettings::leadMinutes();
    const auto& choices = ReminderSettings::choices();
    for (int i = 0; i < choices.size(); ++i) {
        if (choices.at(i).minutes == lead)
            m_view->reminderLeadTime->setCurrentIndex(i);
    }
    showMessage(m_view->reminderNote, ReminderSettings::unavailableNote());
}

void PreferencesViewController::reminderChoiceChanged() {
    const int index = m_view->reminderLeadTime->currentData().toInt();
    ReminderSettings::setLeadMinutes(ReminderSettings::choices().value(index).minutes);
}

void PreferencesViewController::fetchRoomSettingDetails() {
    PreferencesView* v = m_view;
    showCalendar();
    v->errorInRoomSettings->setVisible(false);
    v->fetchRoomSettingsIndicator->setVisible(true);
    v->fetchRoomSettingsIndicator->startAnimation();
    v->updateRoomSettingsButton->setVisible(false);
    showMessage(v->roomSettingsMessage, QString());
    showTelephoneChoice(v->encryptMeeting->isChecked(), -1);

    QPointer<PreferencesViewController> self = this;
    const auto settled = [self] {
        self->m_view->fetchRoomSettingsIndicator->stopAnimation();
        self->m_view->fetchRoomSettingsIndicator->setVisible(false);
        self->m_view->updateRoomSettingsButton->setVisible(true);
    };
    Model::fetchRoomSettingDetails(
        [self, settled] {
            if (!self)
                return;
            TLOG_DEBUG(QStringLiteral("Encryption type is %1")
                           .arg(Model::textOrNull(Model::sharedData()->encryptionType)));
            self->showRoomDefaults();
            settled();
        },
        [self, settled](const std::optional<ServiceError>& error) {
            if (!self)
                return;
            const QString text =
                describeFailure(error, tr("The room settings could not be loaded."));
            self->m_view->errorInRoomSettings->setToolTip(text);
            self->m_view->errorInRoomSettings->setVisible(true);
            // The cleared telephone cells show the stored choice again.
            self->showTelephoneChoice(
                self->m_view->encryptMeeting->isChecked(),
                textOf(Model::sharedData()->encryptionType) == kEncryptedOrPstn ? 0 : 1);
            settled();
        });
}

void PreferencesViewController::toggleEncryptMeeting() {
    const bool on = m_view->encryptMeeting->isChecked();
    showTelephoneChoice(on, on ? 0 : -1);
}

void PreferencesViewController::updateDefaultSettings() {
    AnalyticsController::sendUpdateSettings(QStringLiteral("init"));
    PreferencesView* v = m_view;
    v->updateRoomSettingsButton->setEnabled(false);
    v->updateProgressIndicator->setVisible(true);
    v->updateProgressIndicator->startAnimation();
    showMessage(v->roomSettingsMessage, QString());
    writeRoomDefaults();

    QPointer<PreferencesViewController> self = this;
    const auto settled = [self] {
        if (!self)
            return;
        self->m_view->updateRoomSettingsButton->setEnabled(true);
        self->m_view->updateProgressIndicator->stopAnimation();
        self->m_view->updateProgressIndicator->setVisible(false);
    };
    Model::updateRoomSettings(
        [settled] {
            AnalyticsController::sendUpdateSettings(QStringLiteral("success"));
            settled();
        },
        [self, settled](const std::optional<ServiceError>& error) {
            AnalyticsController::sendUpdateSettings(QStringLiteral("error"));
            settled();
            if (self)
                self->showMessage(self->m_view->roomSettingsMessage,
                                  describeFailure(error, tr("The room settings were not saved.")));
        });
}

// --- Profile actions ---

void PreferencesViewController::refreshAllUserSettings() {
    AnalyticsController::sendRefreshSettings(QStringLiteral("init"));
    PreferencesView* v = m_view;
    v->refreshSettingsButton->setEnabled(false);
    v->refreshAggregatedUserSettingsIndicator->setVisible(true);
    v->refreshAggregatedUserSettingsIndicator->startAnimation();
    showMessage(v->refreshMessage, QString());

    QPointer<PreferencesViewController> self = this;
    const auto settled = [self] {
        if (!self)
            return;
        self->m_view->refreshSettingsButton->setEnabled(true);
        self->m_view->refreshAggregatedUserSettingsIndicator->stopAnimation();
        self->m_view->refreshAggregatedUserSettingsIndicator->setVisible(false);
        self->updateProfileDetails();
    };
    Model::fetchAggregatedUserDetails(
        [settled] {
            AnalyticsController::sendRefreshSettings(QStringLiteral("success"));
            settled();
        },
        [self, settled](const std::optional<ServiceError>& error) {
            AnalyticsController::sendRefreshSettings(QStringLiteral("error"));
            settled();
            if (self)
                self->showMessage(
                    self->m_view->refreshMessage,
                    describeFailure(error, tr("The profile could not be refreshed.")));
        });
}

void PreferencesViewController::calenderBeingChanged() {
    const int tag = m_view->calender->currentData().toInt();
    Model::sharedData()->calendar =
        tag >= 1 && tag <= kCalendars.size() ? kCalendars[tag - 1] : QString();
    Model::saveDataToBundle();
    AnalyticsController::sendChangeCalendar();
}

void PreferencesViewController::checkForUpdates() {
    AnalyticsController::sendCheckForUpdates();
    PreferencesView* v = m_view;
    v->checkForUpdates->setEnabled(false);
    v->downloadUpdate->setVisible(false);
    v->updateMessage->setText(tr("Checking for updates\u2026"));
    QPointer<PreferencesViewController> self = this;
    Updater::shared().checkForUpdates([self](const Updater::Answer& answer) {
        if (!self)
            return;
        PreferencesView* v = self->m_view;
        v->checkForUpdates->setEnabled(true);
        const QString app = BundleInfo::appName();
        using Kind = Updater::Answer::Kind;
        switch (answer.kind) {
        case Kind::Available:
            v->updateMessage->setText(tr("%1 %2 is available").arg(app, answer.version));
            v->downloadUpdate->disconnect();
            connect(v->downloadUpdate, &QPushButton::clicked, self,
                    [self, page = answer.downloadPage] {
                        if (!UrlOpener::open(page))
                            self->m_view->updateMessage->setText(
                                tr("Could not open your browser. The download is at %1")
                                    .arg(page.toDisplayString()));
                    });
            v->downloadUpdate->setVisible(true);
            break;
        case Kind::UpToDate:
            v->updateMessage->setText(tr("%1 is up to date (version %2)").arg(app, answer.version));
            break;
        case Kind::PackageManager:
            v->updateMessage->setText(
                tr("Updates of %1 come from your system's package manager.").arg(app));
            break;
        case Kind::Failed:
            v->updateMessage->setText(tr("Could not check for updates: %1").arg(answer.reason));
            break;
        }
    });
}

void PreferencesViewController::signOutButtonAction() {
    AnalyticsController::sendSignOutAction(kScreen);
    NotificationCenter::defaultCenter().post(QStringLiteral("SIGN_OUT_ACTION"));
}

void PreferencesViewController::quitButtonAction() {
    AnalyticsController::sendQuitAction(kScreen);
    AnalyticsController::afterPendingEvents(AnalyticsController::kQuitWaitMs,
                                            [] { AbstractPopover::quitApplication(); });
}

// --- Support ---

void PreferencesViewController::uploadLogData() {
    PreferencesView* v = m_view;
    v->uploadLogData->setEnabled(false);
    v->uploadLogIndicator->setVisible(true);
    v->uploadLogIndicator->startAnimation();
    showMessage(v->supportMessage, QString());
    // An earlier upload still in the slot keeps running; the slot follows the newest.
    LogUploader* upload = LogUploader::newestLogFile();
    g_upload = upload;
    connect(upload, &LogUploader::authenticationChallenge, this,
            [] { AnalyticsController::sendSubmitLog(QStringLiteral("authentication_challenge")); });
    connect(upload, &LogUploader::finished, upload, &QObject::deleteLater);
    connect(upload, &LogUploader::finished, this, &PreferencesViewController::uploadHelper);
    AnalyticsController::sendSubmitLog(QStringLiteral("init"));
    upload->start();
    TLOG_DEBUG(QStringLiteral("Connection established %1").arg(objectDescription(upload)));
}

void PreferencesViewController::uploadHelper(bool failed, const QString& reason) {
    PreferencesView* v = m_view;
    v->uploadLogIndicator->stopAnimation();
    v->uploadLogIndicator->setVisible(false);
    AnalyticsController::sendSubmitLog(failed ? QStringLiteral("error")
                                              : QStringLiteral("success"));
    v->uploadLogData->setEnabled(true);
    const QString text = failed ? (reason.isEmpty() ? tr("The logs could not be uploaded") : reason)
                                : tr("Logs uploaded");
    ResultIcon::showAndFade(v->uploadSuccessful, failed, text);
    // The mark fades; a failure's reason stays readable.
    showMessage(v->supportMessage, failed ? text : QString());
}

void PreferencesViewController::provideFeedback() {
    AnalyticsController::sendProvideFeedback();
    const QString subject = tr("%1 app feedback").arg(BundleInfo::appName());
    if (!sendEmailTo(BundleInfo::supportMailbox(), subject, QString()))
        showMessage(
            m_view->supportMessage,
            tr("Could not open your mail program. Write to %1.").arg(BundleInfo::supportMailbox()));
}

bool PreferencesViewController::sendEmailTo(const QString& to, const QString& subject,
                                            const QString& body) {
    const QByteArray address = "mailto:?to=" + QUrl::toPercentEncoding(to) +
                               "&subject=" + QUrl::toPercentEncoding(subject) +
                               "&body=" + QUrl::toPercentEncoding(body);
    return UrlOpener::open(QUrl::fromEncoded(address, QUrl::StrictMode));
}

void PreferencesViewController::contactSupport() {
    AnalyticsController::sendContactSupport();
    const QUrl page(Model::supportPageURL());
    if (!UrlOpener::open(page))
        showMessage(m_view->supportMessage,
                    tr("Could not open your browser. The support page is at %1.")
                        .arg(page.toDisplayString()));
}
