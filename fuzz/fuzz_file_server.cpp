// The file server's side of the remote file service: whatever a client sends is split into
// records and answered by the same session object the server's threads run, over a small
// release folder. Every reply must itself be one whole, tagged record no longer than the
// client's record buffer, and nothing may appear outside the folder.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fileserver/file_session.h"

namespace {

using namespace dravmer;
namespace fs = std::filesystem;

struct SFolder {
    fs::path top;
    fs::path root;
    fileserver::CReleaseFolder* folder = nullptr;
    SFolder() {
        top = fs::temp_directory_path() / ("fuzz-file-server-" + std::to_string(::getpid()));
        root = top / "releases";
        fs::create_directories(root);
        std::ofstream(root / "dravmer") << std::string(300000, 'r');
        std::ofstream(root / "tool") << "small";
        std::ofstream(root / "versions.txt") << "dravmer 05.44\ntool 01.00\n";
        folder = new fileserver::CReleaseFolder(root);
    }
};

SFolder& Folder() {
    static SFolder f;
    return f;
}

void CheckReplies(const std::vector<std::uint8_t>& replies) {
    std::size_t at = 0;
    while (at < replies.size()) {
        int length = 0;
        if (QueryRecordState(replies.data() + at, replies.size() - at, kQueryBufferSize, length) !=
            ERecordState::kComplete) {
            __builtin_trap();
        }
        at += static_cast<std::size_t>(length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 300000) return 0;
    SFolder& f = Folder();
    // The first byte chooses whether writes are allowed and where the network splits the bytes.
    const bool allowUpload = data[0] & 1;
    const std::size_t step = 1 + (data[0] >> 1) * 7;
    ++data;
    --size;
    fileserver::CFileSession session(*f.folder, allowUpload, [](const std::string&, const std::string&) { return true; });
    std::vector<std::uint8_t> replies;
    for (std::size_t at = 0; at < size; at += step) {
        const std::size_t n = std::min(step, size - at);
        const bool ok = session.Feed(data + at, n, replies);
        CheckReplies(replies);
        replies.clear();
        if (!ok) break;
    }
    // Only the release folder and the test's own top folder may exist up there.
    for (const auto& e : fs::directory_iterator(f.top)) {
        if (e.path() != f.root) __builtin_trap();
    }
    return 0;
}
