#pragma once
// Windows-1251, the code page of the bench's text files and label files. Texts are UTF-8 in
// memory; these convert at the file boundary.
#include <string>
#include <string_view>

namespace dravmer {

// Characters without a Windows-1251 code become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
// The one undefined code (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view cp1251);

}  // namespace dravmer
