// The standard streams' bytes and the message of a missing converter, the
// same on every system; how text reaches a console is each system's own.

#include "platform_p.h"
#include "program.h"

namespace absence {

namespace platform::detail {

std::FILE *StreamFile(Stream stream)
{
    return stream == Stream::Output ? stdout : stderr;
}

} // namespace platform::detail

bool WriteBytes(Stream stream, QByteArrayView bytes)
{
    std::FILE *f = platform::detail::StreamFile(stream);
    if (!bytes.isEmpty())
        std::fwrite(bytes.data(), 1, size_t(bytes.size()), f);
    return !std::ferror(f);
}

bool Flush(Stream stream)
{
    std::FILE *f = platform::detail::StreamFile(stream);
    return std::fflush(f) == 0 && !std::ferror(f);
}

QString Cp932UnavailableText()
{
    return QStringLiteral(
        "コードページ 932 (Shift_JIS) の変換が使えません。"
        "ICU とそのデータが入っているか確かめてください。");
}

} // namespace absence
