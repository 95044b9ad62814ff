#include "ui/dialogs/file_problem_text.h"

#include <QCoreApplication>

#include "files/file_format.h"
#include "measure/param_index.h"

namespace dravmer::ui {

namespace {
QString T(const char* text) { return QCoreApplication::translate("FileProblem", text); }
}  // namespace

QString WordFileProblem(const SExperimentFileProblem& problem) {
    switch (problem.fault) {
        case ExperimentFileFault::None:
            return {};
        case ExperimentFileFault::BadName:
            return T(QT_TRANSLATE_NOOP("FileProblem",
                                       "имя не похоже на имя файла эксперимента "
                                       "(ГГММДД-NNN-AAAAAA.adc или .txt)"));
        case ExperimentFileFault::BadExtension:
            return T(QT_TRANSLATE_NOOP("FileProblem", "это не файл .adc и не файл .txt"));
        case ExperimentFileFault::NoSuchFile:
            return T(QT_TRANSLATE_NOOP("FileProblem", "такого файла нет"));
        case ExperimentFileFault::CannotOpen:
            return T(QT_TRANSLATE_NOOP("FileProblem", "файл не открывается"));
        case ExperimentFileFault::TextTooShort:
            return T(QT_TRANSLATE_NOOP("FileProblem",
                                       "текстовый файл эксперимента короче %1 байт"))
                .arg(kMinTextFileBytes);
        case ExperimentFileFault::ShortHeader:
            return T(QT_TRANSLATE_NOOP("FileProblem", "файл короче заголовка (%1 байта)"))
                .arg(kAdcHeaderSize);
        case ExperimentFileFault::BadSignature:
            return T(QT_TRANSLATE_NOOP("FileProblem", "заголовок не начинается с «%1»"))
                .arg(QString::fromLatin1(kAdcSignature));
        case ExperimentFileFault::BadColumnCount:
            return T(QT_TRANSLATE_NOOP("FileProblem",
                                       "число столбцов в заголовке (%1) вне пределов 0..%2"))
                .arg(problem.value)
                .arg(kParamCount);
        case ExperimentFileFault::BadLastTime:
            return T(QT_TRANSLATE_NOOP("FileProblem",
                                       "время последней записи — не целое число секунд "
                                       "в пределах семи суток"));
    }
    return {};
}

}  // namespace dravmer::ui
