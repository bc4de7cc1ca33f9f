#include "ui/Glyphs.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHash>

#include <algorithm>

namespace
{

constexpr char32_t variationSelector = 0xFE0F;
constexpr char32_t zeroWidthJoiner = 0x200D;

bool anyFamilyCovers(char32_t character)
{
    const QStringList families = QFontDatabase::families();
    return std::any_of(families.begin(), families.end(), [character](const QString& family) {
        return QFontMetrics(QFont(family)).inFontUcs4(character);
    });
}

} // namespace

namespace Glyphs
{

bool covered(char32_t character)
{
    if (character < 0x80)
        return true;
    static QHash<char32_t, bool> known;
    const auto found = known.constFind(character);
    if (found != known.constEnd())
        return found.value();
    return known.insert(character, anyFamilyCovers(character)).value();
}

QString displayable(const QString& text)
{
    QString result;
    bool dropped = false;
    for (const char32_t character : text.toUcs4()) {
        // A selector or joiner belongs to the character before it.
        if (character == variationSelector || character == zeroWidthJoiner) {
            if (!dropped)
                result += QString::fromUcs4(&character, 1);
            continue;
        }
        // The space that set off a dropped character goes with it.
        if (dropped && result.isEmpty() && character == U' ')
            continue;
        dropped = !covered(character);
        if (!dropped)
            result += QString::fromUcs4(&character, 1);
        else if (result.endsWith(u' '))
            result.chop(1);
    }
    return result;
}

} // namespace Glyphs
