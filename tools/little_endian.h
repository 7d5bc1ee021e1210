#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tools {

// Windows file headers are little-endian whatever machine writes them.
inline void putU16(QByteArray& out, quint16 value) {
    out.append(char(value & 0xff));
    out.append(char(value >> 8));
}

inline void putU32(QByteArray& out, quint32 value) {
    putU16(out, quint16(value & 0xffff));
    putU16(out, quint16(value >> 16));
}

} // namespace tools
