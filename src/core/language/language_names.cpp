#include "core/language/language_names.h"

namespace kov {

namespace {

struct LocaleName {
    std::string_view locale;  // language, language_TERRITORY, or either with @modifier
    const char* name;
};

// A language given without a matching territory takes its language-only entry; languages whose
// names always carry a region (Arabic, Chinese, Dutch) have none and give "Default".
constexpr LocaleName kNames[] = {
    {"af", "Afrikaans"},
    {"sq", "Albanian"},
    {"ar_SA", "Arabic (Saudi Arabia)"},
    {"ar_IQ", "Arabic (Iraq)"},
    {"ar_EG", "Arabic (Egypt)"},
    {"ar_LY", "Arabic (Libya)"},
    {"hy", "Armenian"},
    {"as", "Assamese"},
    {"az", "Azeri (Latin)"},
    {"az@cyrillic", "Azeri (Cyrillic)"},
    {"az_AZ@cyrillic", "Azeri (Cyrillic)"},
    {"eu", "Basque"},
    {"be", "Belarussian"},
    {"bn", "Bengali"},
    {"bg", "Bulgarian"},
    {"my", "Burmese"},
    {"ca", "Catalan"},
    {"zh_TW", "Chinese (Taiwan)"},
    {"zh_CN", "Chinese (PRC)"},
    {"zh_HK", "Chinese (Hong Kong)"},
    {"zh_SG", "Chinese (Singapore)"},
    {"zh_MO", "Chinese (Macau)"},
    {"hr", "Croatian"},
    {"cs", "Czech"},
    {"da", "Danish"},
    {"nl_NL", "Dutch (Netherlands)"},
    {"nl_BE", "Dutch (Belgium)"},
    {"en", "English"},
    {"en_GB", "English (United Kingdom)"},
    {"en_AU", "English (Australian)"},
    {"en_CA", "English (Canadian)"},
    {"en_NZ", "English (New Zealand)"},
    {"en_IE", "English (Ireland)"},
    {"en_ZA", "English (South Africa)"},
    {"en_JM", "English (Jamaica)"},
    {"en_AG", "English (Caribbean)"},
    {"en_BZ", "English (Belize)"},
    {"en_TT", "English (Trinidad)"},
    {"en_ZW", "English (Zimbabwe)"},
    {"en_PH", "English (Philippines)"},
    {"et", "Estonian"},
    {"fo", "Faeroese"},
    {"fa", "Farsi"},
    {"fi", "Finnish"},
    {"fr", "French"},
    {"fr_BE", "French (Belgian)"},
    {"fr_CA", "French (Canadian)"},
    {"fr_CH", "French (Switzerland)"},
    {"fr_LU", "French (Luxembourg)"},
    {"fr_MC", "French (Monaco)"},
    {"ka", "Georgian"},
    {"de", "German"},
    {"de_CH", "German (Switzerland)"},
    {"de_AT", "German (Austria)"},
    {"de_LU", "German (Luxembourg)"},
    {"de_LI", "German (Liechtenstein)"},
    {"el", "Greek"},
    {"gu", "Gujarati"},
    {"he", "Hebrew"},
    {"iw", "Hebrew"},
    {"hi", "Hindi"},
    {"hu", "Hungarian"},
    {"is", "Icelandic"},
    {"id", "Indonesian"},
    {"it", "Italian"},
    {"it_CH", "Italian (Switzerland)"},
    {"ja", "Japanese"},
    {"kn", "Kannada"},
    {"ks", "Kashmiri"},
    {"kk", "Kazakh"},
    {"kok", "Konkani"},
    {"ko", "Korean"},
    {"lv", "Latvian"},
    {"lt", "Lithuanian"},
    {"mk", "Macedonian"},
    {"ms", "Malay"},
    {"mni", "Manipuri"},
    {"nb", "Norwegian"},
    {"no", "Norwegian"},
    {"nn", "Norwegian (Nynorsk)"},
    {"pl", "Polish"},
    {"pt", "Portuguese"},
    {"pt_BR", "Portuguese (Brazil)"},
    {"ro", "Romanian"},
    {"ru", "Russian"},
    {"sr", "Serbian"},
    {"sr@latin", "Serbian (Latin)"},
    {"sr_RS@latin", "Serbian (Latin)"},
    {"sd", "Sindhi"},
    {"sk", "Slovak"},
    {"sl", "Slovenian"},
    {"es", "Spanish"},
    {"st", "Sutu"},
    {"sw", "Swahili"},
    {"sv", "Swedish"},
    {"tt", "Tatar"},
    {"th", "Thai"},
    {"tr", "Turkish"},
    {"uk", "Ukrainian"},
    {"uz", "Uzbek"},
    {"uz@cyrillic", "Uzbek (Cyrillic)"},
    {"uz_UZ@cyrillic", "Uzbek (Cyrillic)"},
    {"vi", "Vietnamese"},
};

const char* Find(std::string_view locale) {
    for (const LocaleName& n : kNames) {
        if (n.locale == locale) return n.name;
    }
    return nullptr;
}

}  // namespace

std::string LanguageNameForLocale(std::string_view locale) {
    if (locale.empty()) return {};
    // language[_TERRITORY][.codeset][@modifier]
    std::string_view modifier;
    if (std::size_t at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    if (locale == "C" || locale == "POSIX") return "English";
    const std::string_view language = locale.substr(0, locale.find('_'));
    const std::string candidates[] = {std::string(locale) + std::string(modifier),
                                      std::string(language) + std::string(modifier),
                                      std::string(locale), std::string(language)};
    for (const std::string& c : candidates) {
        if (const char* name = Find(c)) return name;
    }
    return "Default";
}

}  // namespace kov
