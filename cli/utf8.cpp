#include "cli/utf8.h"

#include <QString>
#include <QStringDecoder>

namespace bleeptone {

std::u16string utf8ToUtf16(std::string_view text) {
    // Stateless: a sequence cut off at the end is decoded now, not held back
    // for more input. ConvertInitialBom: every code unit reaches the engine.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return decoded.toStdU16String();
}

}  // namespace bleeptone
