// Prints what ICU decides for a Qt program: a list of words sorted by the
// collation of each of many locales (as the setup program's file lists sort),
// and locale-aware case mapping. Run once with the system's ICU data and once
// with the trimmed copy a medium carries, the two outputs must be the same.
#include <QCollator>
#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  const QStringList words =
      QString::fromUtf8(
          "z å ä ö aa ch c h Äpfel Apfel ß ss ñ n o ů ř r 日本 中文 한국 ç ı i İ Ł ł l dž д е ё ж "
          "א ب ก क 10 9 2 file-1 file_1 File1 _ - ő œ ø æ þ ð ŋ ǆ ĳ ij y ü v w ll rr č š ž ș ț "
          "ă â î ệ ờ ゆ ユ 가 각 你 好 漢 字 ऋ অ ஆ")
          .split(QLatin1Char(' '));
  const char* const locales[] = {"C",     "en_US", "sv_SE", "de_DE", "da_DK", "fi_FI", "nb_NO", "es_ES", "fr_FR",
                                 "cs_CZ", "sk_SK", "pl_PL", "hu_HU", "ro_RO", "tr_TR", "lt_LT", "lv_LV", "et_EE",
                                 "is_IS", "hr_HR", "ru_RU", "uk_UA", "el_GR", "he_IL", "ar_SA", "fa_IR", "th_TH",
                                 "hi_IN", "bn_IN", "ta_IN", "vi_VN", "zh_CN", "zh_TW", "zh_HK", "ja_JP", "ko_KR",
                                 "pt_BR", "nl_NL", "it_IT", "ln_CD", "es_MX", "en_IN", "sr_RS"};
  for (const char* name : locales) {
    const QLocale locale(QString::fromLatin1(name));
    QCollator collator(locale);
    QStringList sorted = words;
    auto sort = [&] {
      std::stable_sort(sorted.begin(), sorted.end(),
                       [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    };
    sort();
    out << name << ": " << sorted.join(QLatin1Char(' ')) << "\n";
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    sort();
    out << name << ", numbers by value, any case: " << sorted.join(QLatin1Char(' ')) << "\n";
    out << name << ", case: " << locale.toUpper(QString::fromUtf8("istanbul ıi ĳ ß ǆ")) << " / "
        << locale.toLower(QString::fromUtf8("İSTANBUL IJ Σ ΌΣΟΣ")) << "\n";
  }
  return 0;
}
