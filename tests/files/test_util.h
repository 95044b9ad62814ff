#pragma once
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "measure/device_data.h"

namespace dravmer::testing_files {

// A fresh folder under the test temp directory, removed at the end.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        static int counter = 0;
        path = std::filesystem::temp_directory_path() /
               ("dravmer-files-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    std::string Folder() const { return path.string() + "/"; }
};

inline std::string ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void WriteAll(const std::string& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Realistic records: every parameter filled, time and cycle counting, a state word in hex range.
inline void Fill(CDeviceData& store, int count, unsigned seed = 3) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> v(100, 5);
    for (int t = 0; t < count; ++t) {
        CMeasRecord r;
        for (int i = 3; i < 43; ++i) SetParam(r, i, v(rng));
        r.time = static_cast<std::uint32_t>(t);
        r.cycle = static_cast<std::uint8_t>(t + 7);
        r.state = 0xA3F1;
        r.gvEr = static_cast<std::uint8_t>(t % 8);
        r.kg = 16;
        r.kr = 1;
        store.AddSample(r);
    }
}

}  // namespace dravmer::testing_files
