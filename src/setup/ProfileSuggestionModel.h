#pragma once

#include "store/BackupProfile.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>

namespace larkfold {

class ConfigStore;

// What the "Smart setup" card shows for a recommended profile, and its two disclosure states.
// The card only hands control back through its two callbacks: it never reads or changes a
// record itself. Main thread only.
class ProfileSuggestionModel : public QObject {
    Q_OBJECT

public:
    ProfileSuggestionModel(BackupProfile recommended, QString pairName, qint64 totalBytes,
                           std::function<void()> onAccept, std::function<void()> onDecline,
                           QObject* parent = nullptr);

    BackupProfile recommended() const { return m_recommended; }
    const QString& pairName() const { return m_pairName; }
    qint64 totalBytes() const { return m_totalBytes; }

    QString symbolName() const { return symbolName(m_recommended); }
    QString headline() const { return headline(m_recommended, m_pairName); }
    // The source's size as given, in decimal file-style units; nothing is measured here.
    QString sizeText() const;
    QString profileDescription() const { return profileDescription(m_recommended); }
    // Only a special profile explains what it changes.
    bool hasChangeSection() const { return m_recommended != BackupProfile::standard; }
    QStringList changeBullets() const { return changeBullets(m_recommended); }
    QStringList technicalLines() const { return technicalLines(m_recommended); }
    QString acceptTitle() const;
    static QString declineTitle();
    static QString changeSectionTitle();
    QString technicalDetailsTitle() const;

    bool showWhatThisChanges() const { return m_showWhatThisChanges; }
    void setShowWhatThisChanges(bool show);
    void toggleWhatThisChanges() { setShowWhatThisChanges(!m_showWhatThisChanges); }
    // Kept while the section is closed, so reopening it shows the lines again.
    bool showTechnicalDetails() const { return m_showTechnicalDetails; }
    void setShowTechnicalDetails(bool show);
    void toggleTechnicalDetails() { setShowTechnicalDetails(!m_showTechnicalDetails); }
    // Whether the technical lines are on screen: both states open.
    bool technicalLinesShown() const { return m_showWhatThisChanges && m_showTechnicalDetails; }

    // Each press calls its callback once.
    void accept();
    void decline();

    static QString symbolName(BackupProfile profile);
    static QString headline(BackupProfile profile, const QString& pairName);
    static QString profileDescription(BackupProfile profile);
    static QStringList changeBullets(BackupProfile profile);
    // "Profile: <name>", then for every profile but standard its excluded names (ten at most,
    // with a count of the rest; its own before the file systems' folders) and extensions (ten at
    // most), each sorted by code point.
    static QStringList technicalLines(BackupProfile profile);
    static QStringList technicalLines(BackupProfile profile, const ProfileExclusions& exclusions);

    // The accepted suggestion: the pair takes the profile and is marked as offered one, written
    // at once. False, with nothing written, when the pair is gone.
    static bool applySuggestion(ConfigStore& store, const QUuid& pairId, BackupProfile profile);

signals:
    void showWhatThisChangesChanged(bool show);
    void showTechnicalDetailsChanged(bool show);

private:
    BackupProfile m_recommended;
    QString m_pairName;
    qint64 m_totalBytes;
    std::function<void()> m_onAccept;
    std::function<void()> m_onDecline;
    bool m_showWhatThisChanges = false;
    bool m_showTechnicalDetails = false;
};

} // namespace larkfold
