// Between QString and the plain UTF-16 strings of ip_address_text.h, without copying on the way in.
#pragma once

#include <QString>
#include <QStringView>

#include <string_view>

namespace controls {

inline std::u16string_view utf16View(const QString &s) {
    return {QStringView(s).utf16(), static_cast<std::size_t>(s.size())};
}

inline QString toQString(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace controls
