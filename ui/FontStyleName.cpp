#include "ui/FontStyleName.h"

#include <QStringList>
#include <vector>

namespace {

enum class Part { Width, Weight, Slant };

struct Word {
    const char* english;  // lower case, words of a compound run together
    Part part;
    const char* masculine;  // the adjective beside a masculine (or no) noun
    const char* feminine;   // beside "kursywa"; empty for a regular weight
};

// Weight words that mean the regular weight have no Polish word beside "kursywa".
constexpr Word kWords[] = {
    {"thin", Part::Weight, "cienki", "cienka"},
    {"hairline", Part::Weight, "cienki", "cienka"},
    {"extralight", Part::Weight, "bardzo lekki", "bardzo lekka"},
    {"ultralight", Part::Weight, "bardzo lekki", "bardzo lekka"},
    {"light", Part::Weight, "lekki", "lekka"},
    {"regular", Part::Weight, "normalny", ""},
    {"normal", Part::Weight, "normalny", ""},
    {"book", Part::Weight, "normalny", ""},
    {"roman", Part::Weight, "normalny", ""},
    {"plain", Part::Weight, "normalny", ""},
    {"medium", Part::Weight, "średni", "średnia"},
    {"semibold", Part::Weight, "półpogrubiony", "półpogrubiona"},
    {"demibold", Part::Weight, "półpogrubiony", "półpogrubiona"},
    {"demi", Part::Weight, "półpogrubiony", "półpogrubiona"},
    {"bold", Part::Weight, "pogrubiony", "pogrubiona"},
    {"extrabold", Part::Weight, "bardzo pogrubiony", "bardzo pogrubiona"},
    {"ultrabold", Part::Weight, "bardzo pogrubiony", "bardzo pogrubiona"},
    {"heavy", Part::Weight, "ciężki", "ciężka"},
    {"black", Part::Weight, "czarny", "czarna"},
    {"condensed", Part::Width, "zwężony", "zwężona"},
    {"semicondensed", Part::Width, "lekko zwężony", "lekko zwężona"},
    {"extracondensed", Part::Width, "bardzo zwężony", "bardzo zwężona"},
    {"ultracondensed", Part::Width, "bardzo zwężony", "bardzo zwężona"},
    {"narrow", Part::Width, "wąski", "wąska"},
    {"expanded", Part::Width, "rozszerzony", "rozszerzona"},
    {"semiexpanded", Part::Width, "lekko rozszerzony", "lekko rozszerzona"},
    {"extraexpanded", Part::Width, "bardzo rozszerzony", "bardzo rozszerzona"},
    {"oblique", Part::Slant, "pochylony", "pochylona"},
    {"italic", Part::Slant, "kursywa", "kursywa"},
};

const Word* Find(const QString& english) {
    for (const Word& word : kWords) {
        if (english.compare(QLatin1String(word.english), Qt::CaseInsensitive) == 0) {
            return &word;
        }
    }
    return nullptr;
}

// The words of a style name as written: "SemiBold Italic", "Semi-Bold Italic" and "semibold
// italic" all give a semibold and an italic word.
QStringList Words(const QString& style) {
    QStringList words;
    QString current;
    for (qsizetype i = 0; i < style.size(); ++i) {
        const QChar c = style[i];
        const bool separator = c == u' ' || c == u'-' || c == u'_';
        if (separator || (c.isUpper() && i > 0 && style[i - 1].isLower())) {
            if (!current.isEmpty()) {
                words << current;
            }
            current.clear();
        }
        if (!separator) {
            current += c;
        }
    }
    if (!current.isEmpty()) {
        words << current;
    }
    // Prefixes written apart join their word.
    QStringList joined;
    for (const QString& word : words) {
        const QString last = joined.isEmpty() ? QString() : joined.last().toLower();
        if ((last == u"extra" || last == u"ultra" || last == u"semi" || last == u"demi") &&
            Find(joined.last() + word) != nullptr) {
            joined.last() += word;
        } else {
            joined << word;
        }
    }
    return joined;
}

}  // namespace

QString PolishFontStyle(const QString& style) {
    const QStringList english = Words(style);
    if (english.isEmpty()) {
        return style;
    }
    std::vector<const Word*> found;
    QStringList unknown;
    bool italic = false;
    for (const QString& word : english) {
        const Word* known = Find(word);
        if (known == nullptr) {
            unknown << word;
            continue;
        }
        italic = italic || word.compare(u"italic", Qt::CaseInsensitive) == 0;
        found.push_back(known);
    }
    if (found.empty()) {
        return style;
    }
    // Width, weight, slant; "kursywa" is a noun and goes last, the adjectives agree with it.
    QStringList polish;
    for (const Part part : {Part::Width, Part::Weight, Part::Slant}) {
        for (const Word* word : found) {
            if (word->part != part) {
                continue;
            }
            const char* text = italic ? word->feminine : word->masculine;
            if (*text != '\0') {
                polish << QString::fromUtf8(text);
            }
        }
    }
    // A regular weight alone beside another word says nothing more.
    if (polish.size() > 1) {
        polish.removeAll(QStringLiteral("normalny"));
    }
    // The font's own words follow as the font writes them.
    polish << unknown;
    QString result = polish.join(u' ');
    if (!result.isEmpty()) {
        result[0] = result[0].toUpper();
    }
    return result;
}
