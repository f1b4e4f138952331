#pragma once

#include <QString>

class QWidget;

namespace larkfold::test {

// Compares `window` as drawn now, pixel for pixel, with tests/<subsystem>/reference/<name>.png:
// an empty text when every pixel is the same, else what differs (the count and where). What it
// drew goes beside the screenshots as <name>-now.png, the differing pixels as <name>-diff.png.
// With LARKFOLD_WRITE_REFERENCES=1 in the environment it writes the reference instead, for a
// change of look that is meant.
QString differenceFromReference(QWidget& window, const QString& subsystem, const QString& name);

} // namespace larkfold::test

// The window looks as it did when its reference was drawn.
#define EXPECT_LOOKS_AS_REFERENCE(window, subsystem, name)                                                       \
    do {                                                                                                       \
        const QString difference = larkfold::test::differenceFromReference(window, subsystem, name);          \
        EXPECT_TRUE(difference.isEmpty()) << difference.toStdString();                                         \
    } while (false)
