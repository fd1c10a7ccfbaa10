// Window text to the 8-bit text the library takes (std::string crosses its boundary).
#pragma once

#include <QString>

#include <string>

namespace Vorlith {

// The text in the system's 8-bit encoding; like a C string, it ends at an embedded zero.
void MarshalString(const QString& s, std::string& os);
// The characters unchanged, for wide-character interfaces.
void MarshalString(const QString& s, std::wstring& os);

// Text the library wrote into a zero-terminated buffer, for display.
QString UnmarshalString(const char* text);

} // namespace Vorlith
