#include "marshal.h"

#include <QByteArray>

namespace Vorlith {

void MarshalString(const QString& s, std::string& os) {
    const QByteArray bytes = s.toLocal8Bit();
    os.assign(bytes.constData()); // stops at the first zero byte, as the library reads it
}

void MarshalString(const QString& s, std::wstring& os) {
    os = s.toStdWString();
}

QString UnmarshalString(const char* text) {
    return QString::fromLocal8Bit(text);
}

} // namespace Vorlith
