#include "picture/PnmCheck.h"

#include <cctype>
#include <limits>
#include <optional>

namespace kelviq {

namespace {

// Reads the numbers of a netpbm file from at: blanks and comments (from # to the line end)
// between them. Returns nothing where something else stands or the data ends first.
class PnmTokens
{
public:
    PnmTokens(const QByteArray& data, qsizetype at) : m_data(data), m_at(at) {}

    // Skips to the next number; false at the end of the data, and sets foreign when a
    // character that has no place in the file stands there instead.
    bool next()
    {
        while (m_at < m_data.size()) {
            const char c = m_data[m_at];
            if (FormatCheck::isBlank(c)) {
                ++m_at;
            } else if (c == '#') {
                while (m_at < m_data.size() && m_data[m_at] != '\n' && m_data[m_at] != '\r')
                    ++m_at;
            } else {
                foreign = !std::isdigit(static_cast<unsigned char>(c));
                return !foreign;
            }
        }
        return false;
    }
    // The number at the current place, up to a limit; digits beyond it stay unread.
    std::optional<qint64> number(int maxDigits = 18)
    {
        if (!next())
            return std::nullopt;
        qint64 value = 0;
        int digits = 0;
        while (m_at < m_data.size() && std::isdigit(static_cast<unsigned char>(m_data[m_at]))) {
            if (++digits > maxDigits)
                return std::numeric_limits<qint64>::max();
            value = value * 10 + (m_data[m_at] - '0');
            ++m_at;
        }
        return value;
    }
    qsizetype at() const { return m_at; }
    bool endsHere() const { return m_at >= m_data.size(); }
    bool foreign = false;

private:
    const QByteArray& m_data;
    qsizetype m_at;
};

struct PnmHeader
{
    char kind = 0; // '1' to '6'
    qint64 width = 0;
    qint64 height = 0;
    qint64 maxValue = 1;
    qsizetype dataStart = 0; // binary kinds: after the single blank that ends the header
    QString problem;
    int samples() const { return kind == '3' || kind == '6' ? 3 : 1; }
    bool binary() const { return kind >= '4'; }
    qint64 bodyBytes() const
    {
        if (kind == '4')
            return (width + 7) / 8 * height;
        return width * height * samples() * (maxValue > 255 ? 2 : 1);
    }
};

PnmHeader pnmHeader(const QByteArray& data)
{
    PnmHeader header;
    header.kind = data.size() > 1 ? data[1] : 0;
    PnmTokens tokens(data, 2);
    const int fields = header.kind == '1' || header.kind == '4' ? 2 : 3;
    qint64 values[3] = {0, 0, 1};
    for (int i = 0; i < fields; ++i) {
        const std::optional<qint64> value = tokens.number();
        if (!value) {
            header.problem = tokens.foreign
                                 ? FormatCheck::damaged(QStringLiteral("its header is not one a "
                                                                       "netpbm file has"))
                                 : FormatCheck::truncated();
            return header;
        }
        values[i] = *value;
    }
    header.width = values[0];
    header.height = values[1];
    header.maxValue = fields == 3 ? values[2] : 1;
    if (header.width <= 0 || header.height <= 0) {
        header.problem = FormatCheck::damaged(QStringLiteral("its header gives a size of %1 × %2 "
                                                             "pixels")
                                                  .arg(header.width)
                                                  .arg(header.height));
    } else if (header.maxValue <= 0 || header.maxValue > 65535) {
        header.problem = FormatCheck::damaged(
            QStringLiteral("its header gives %1 as the largest value").arg(header.maxValue));
    }
    header.dataStart = tokens.at() + 1;
    return header;
}

} // namespace

QString PnmCheck::problem(const QByteArray& data)
{
    const PnmHeader header = pnmHeader(data);
    if (!header.problem.isEmpty())
        return header.problem;
    if (header.binary())
        return data.size() - header.dataStart < header.bodyBytes() ? FormatCheck::truncated()
                                                                   : QString();
    PnmTokens tokens(data, header.dataStart - 1);
    const qint64 needed = header.width * header.height * header.samples();
    const int digits = header.kind == '1' ? 1 : 5;
    for (qint64 i = 0; i < needed; ++i) {
        const std::optional<qint64> value = tokens.number(digits);
        if (!value)
            return tokens.foreign ? FormatCheck::damaged(QStringLiteral("it holds something "
                                                                        "other than numbers"))
                                  : FormatCheck::truncated();
        if (*value > header.maxValue)
            return FormatCheck::damaged(
                QStringLiteral("it holds the value %1, above its largest value %2")
                    .arg(*value)
                    .arg(header.maxValue));
    }
    // A file cut inside its last number would give another value.
    return tokens.endsHere() ? FormatCheck::truncated() : QString();
}

FormatCheck::Claim PnmCheck::claim(const QByteArray& head)
{
    FormatCheck::Claim claim;
    const PnmHeader header = pnmHeader(head);
    if (!header.problem.isEmpty()) {
        claim.problem = header.problem;
        return claim;
    }
    claim.width = header.width;
    claim.height = header.height;
    if (FormatCheck::beyondReach(claim))
        return claim;
    const qint64 pixels = claim.width * claim.height;
    const bool wide = header.maxValue > 255;
    claim.memoryBytes = pixels * (header.samples() == 3 ? (wide ? 12 : 4) : (wide ? 6 : 1));
    claim.fileBytes = header.binary() ? header.dataStart + header.bodyBytes()
                                      : pixels * header.samples() * 8 + FormatCheck::Slack;
    return claim;
}

} // namespace kelviq
