#include "platform/Utf8.h"

#include <QStringDecoder>

namespace larkfold::platform {

std::optional<QString> decodeUtf8(std::string_view bytes)
{
    // Stateless: a stateful decoder keeps a cut-off sequence for a next call and reports no error.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace larkfold::platform
