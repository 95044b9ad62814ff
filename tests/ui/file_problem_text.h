#pragma once
// Every reason a file is not an experiment file, worded by the window: each fault its own
// sentence in the window's language, the column count it found in its words.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "ui/dialogs/file_problem_text.h"

namespace dravmer::ui::test {

inline void ExpectEveryFileProblemWorded(bool russian) {
    const ExperimentFileFault faults[] = {
        ExperimentFileFault::BadName,       ExperimentFileFault::BadExtension,
        ExperimentFileFault::NoSuchFile,    ExperimentFileFault::CannotOpen,
        ExperimentFileFault::TextTooShort,  ExperimentFileFault::ShortHeader,
        ExperimentFileFault::BadSignature,  ExperimentFileFault::BadColumnCount,
        ExperimentFileFault::BadLastTime};
    const QRegularExpression cyrillic(QStringLiteral("[А-Яа-яЁё]"));
    QSet<QString> seen;
    for (ExperimentFileFault fault : faults) {
        const QString text = WordFileProblem({fault, 57});
        ASSERT_FALSE(text.isEmpty()) << static_cast<int>(fault);
        EXPECT_EQ(text.contains(cyrillic), russian) << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1Char('%'))) << text.toStdString();
        EXPECT_FALSE(seen.contains(text)) << text.toStdString();
        seen.insert(text);
    }
    EXPECT_TRUE(WordFileProblem({ExperimentFileFault::BadColumnCount, 57}).contains("57"));
    EXPECT_TRUE(WordFileProblem({ExperimentFileFault::None}).isEmpty());
}

}  // namespace dravmer::ui::test
