#pragma once

#include <QString>
#include <QWidget>

namespace larkfold {

// The content of the "About Larkfold" window: the logo, the name, the version and what Larkfold is for.
class AboutView : public QWidget {
    Q_OBJECT

public:
    explicit AboutView(QWidget* parent = nullptr);

    // The version this build was made as; "1.0" when the build gave none.
    static QString appVersion();
    // "Version 1.4 (Beta)" for "1.4".
    static QString versionLine(const QString& version);
};

} // namespace larkfold
