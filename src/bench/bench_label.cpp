// The comment of the experiment on screen: where its label file is, and writing it.
#include <cstring>

#include "bench/bench.h"

namespace dravmer {

CBench::SLoadedExperiment CBench::LoadedExperiment() const {
    std::lock_guard lock(m_loadedMutex);
    return m_loadedExperiment;
}

void CBench::SetLoadedExperiment(std::time_t time, const std::string& label) {
    std::lock_guard lock(m_loadedMutex);
    m_loadedExperiment = {time, label};
}

std::string CBench::ExperimentLabelPath() const {
    std::lock_guard lock(m_storesMutex);
    if (m_storeCount == 0) return {};
    // The label belongs to the experiment, so the first device's store names it.
    const CDeviceData& first = *m_data.front();
    if (first.IsLoadedFromFile()) return LabelPathBeside(first.LoadedPath());
    return m_files.front()->LabelPath();
}

CBench::LabelResult CBench::WriteExperimentLabel(const std::string& text, std::string* detail) {
    const std::string path = ExperimentLabelPath();
    if (path.empty()) return LabelResult::NoExperiment;
    if (const int error = WriteLabelFile(path, text); error != 0) {
        if (detail) *detail = path + ": " + std::strerror(error);
        return LabelResult::WriteFailed;
    }
    if (detail) *detail = path;
    if (m_showsLoaded) {
        std::lock_guard lock(m_loadedMutex);
        m_loadedExperiment.label = text;
    }
    return LabelResult::Written;
}

}  // namespace dravmer
