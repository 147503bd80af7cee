// The named reference table: 33 ASCII entries, then the 248 named
// character references of HTML 4.01 other than quot, amp, lt and gt, in the
// order of the standard's three lists (Latin-1, symbols and Greek, special).
#include <string>

#include "agent/text/encoding_internal.h"

namespace qorvu_text_internal {
namespace {

constexpr NamedRef QR(const char* name, unsigned unit) {
  return NamedRef{name, std::char_traits<char>::length(name), static_cast<char16_t>(unit)};
}

constexpr NamedRef kNamedRefs[] = {
    // ASCII entries.
    QR("&nbsp;", ' '), QR("&excl;", '!'), QR("&quot;", '"'), QR("&num;", '#'),
    QR("&dollar;", '$'), QR("&percnt;", '%'), QR("&amp;", '&'), QR("&apos;", '\''),
    QR("&lpar;", '('), QR("&rpar;", ')'), QR("&ast;", '*'), QR("&plus;", '+'),
    QR("&comma;", ','), QR("&hyphen;", '-'), QR("&period;", '.'), QR("&sol;", '/'),
    QR("&colon;", ':'), QR("&semi;", ';'), QR("&lt;", '<'), QR("&equals;", '='),
    QR("&gt;", '>'), QR("&quest;", '?'), QR("&commat;", '@'), QR("&lsqb;", '['),
    QR("&bsol;", '\\'), QR("&rsqb;", ']'), QR("&circ;", '^'), QR("&lowbar;", '_'),
    QR("&grave;", '`'), QR("&#123;", '{'), QR("&verbar;", '|'), QR("&#125;", '}'),
    QR("&tilde;", '~'),
    // HTML 4.01 Latin-1 characters (HTMLlat1), U+00A0..U+00FF.
    QR("&nbsp;", 160), QR("&iexcl;", 161), QR("&cent;", 162), QR("&pound;", 163),
    QR("&curren;", 164), QR("&yen;", 165), QR("&brvbar;", 166), QR("&sect;", 167),
    QR("&uml;", 168), QR("&copy;", 169), QR("&ordf;", 170), QR("&laquo;", 171),
    QR("&not;", 172), QR("&shy;", 173), QR("&reg;", 174), QR("&macr;", 175),
    QR("&deg;", 176), QR("&plusmn;", 177), QR("&sup2;", 178), QR("&sup3;", 179),
    QR("&acute;", 180), QR("&micro;", 181), QR("&para;", 182), QR("&middot;", 183),
    QR("&cedil;", 184), QR("&sup1;", 185), QR("&ordm;", 186), QR("&raquo;", 187),
    QR("&frac14;", 188), QR("&frac12;", 189), QR("&frac34;", 190), QR("&iquest;", 191),
    QR("&Agrave;", 192), QR("&Aacute;", 193), QR("&Acirc;", 194), QR("&Atilde;", 195),
    QR("&Auml;", 196), QR("&Aring;", 197), QR("&AElig;", 198), QR("&Ccedil;", 199),
    QR("&Egrave;", 200), QR("&Eacute;", 201), QR("&Ecirc;", 202), QR("&Euml;", 203),
    QR("&Igrave;", 204), QR("&Iacute;", 205), QR("&Icirc;", 206), QR("&Iuml;", 207),
    QR("&ETH;", 208), QR("&Ntilde;", 209), QR("&Ograve;", 210), QR("&Oacute;", 211),
    QR("&Ocirc;", 212), QR("&Otilde;", 213), QR("&Ouml;", 214), QR("&times;", 215),
    QR("&Oslash;", 216), QR("&Ugrave;", 217), QR("&Uacute;", 218), QR("&Ucirc;", 219),
    QR("&Uuml;", 220), QR("&Yacute;", 221), QR("&THORN;", 222), QR("&szlig;", 223),
    QR("&agrave;", 224), QR("&aacute;", 225), QR("&acirc;", 226), QR("&atilde;", 227),
    QR("&auml;", 228), QR("&aring;", 229), QR("&aelig;", 230), QR("&ccedil;", 231),
    QR("&egrave;", 232), QR("&eacute;", 233), QR("&ecirc;", 234), QR("&euml;", 235),
    QR("&igrave;", 236), QR("&iacute;", 237), QR("&icirc;", 238), QR("&iuml;", 239),
    QR("&eth;", 240), QR("&ntilde;", 241), QR("&ograve;", 242), QR("&oacute;", 243),
    QR("&ocirc;", 244), QR("&otilde;", 245), QR("&ouml;", 246), QR("&divide;", 247),
    QR("&oslash;", 248), QR("&ugrave;", 249), QR("&uacute;", 250), QR("&ucirc;", 251),
    QR("&uuml;", 252), QR("&yacute;", 253), QR("&thorn;", 254), QR("&yuml;", 255),
    // HTML 4.01 symbols, mathematical symbols and Greek letters (HTMLsymbol).
    QR("&fnof;", 402),
    QR("&Alpha;", 913), QR("&Beta;", 914), QR("&Gamma;", 915), QR("&Delta;", 916),
    QR("&Epsilon;", 917), QR("&Zeta;", 918), QR("&Eta;", 919), QR("&Theta;", 920),
    QR("&Iota;", 921), QR("&Kappa;", 922), QR("&Lambda;", 923), QR("&Mu;", 924),
    QR("&Nu;", 925), QR("&Xi;", 926), QR("&Omicron;", 927), QR("&Pi;", 928),
    QR("&Rho;", 929), QR("&Sigma;", 931), QR("&Tau;", 932), QR("&Upsilon;", 933),
    QR("&Phi;", 934), QR("&Chi;", 935), QR("&Psi;", 936), QR("&Omega;", 937),
    QR("&alpha;", 945), QR("&beta;", 946), QR("&gamma;", 947), QR("&delta;", 948),
    QR("&epsilon;", 949), QR("&zeta;", 950), QR("&eta;", 951), QR("&theta;", 952),
    QR("&iota;", 953), QR("&kappa;", 954), QR("&lambda;", 955), QR("&mu;", 956),
    QR("&nu;", 957), QR("&xi;", 958), QR("&omicron;", 959), QR("&pi;", 960),
    QR("&rho;", 961), QR("&sigmaf;", 962), QR("&sigma;", 963), QR("&tau;", 964),
    QR("&upsilon;", 965), QR("&phi;", 966), QR("&chi;", 967), QR("&psi;", 968),
    QR("&omega;", 969), QR("&thetasym;", 977), QR("&upsih;", 978), QR("&piv;", 982),
    QR("&bull;", 8226), QR("&hellip;", 8230), QR("&prime;", 8242), QR("&Prime;", 8243),
    QR("&oline;", 8254), QR("&frasl;", 8260),
    QR("&weierp;", 8472), QR("&image;", 8465), QR("&real;", 8476), QR("&trade;", 8482),
    QR("&alefsym;", 8501),
    QR("&larr;", 8592), QR("&uarr;", 8593), QR("&rarr;", 8594), QR("&darr;", 8595),
    QR("&harr;", 8596), QR("&crarr;", 8629), QR("&lArr;", 8656), QR("&uArr;", 8657),
    QR("&rArr;", 8658), QR("&dArr;", 8659), QR("&hArr;", 8660),
    QR("&forall;", 8704), QR("&part;", 8706), QR("&exist;", 8707), QR("&empty;", 8709),
    QR("&nabla;", 8711), QR("&isin;", 8712), QR("&notin;", 8713), QR("&ni;", 8715),
    QR("&prod;", 8719), QR("&sum;", 8721), QR("&minus;", 8722), QR("&lowast;", 8727),
    QR("&radic;", 8730), QR("&prop;", 8733), QR("&infin;", 8734), QR("&ang;", 8736),
    QR("&and;", 8743), QR("&or;", 8744), QR("&cap;", 8745), QR("&cup;", 8746),
    QR("&int;", 8747), QR("&there4;", 8756), QR("&sim;", 8764), QR("&cong;", 8773),
    QR("&asymp;", 8776), QR("&ne;", 8800), QR("&equiv;", 8801), QR("&le;", 8804),
    QR("&ge;", 8805), QR("&sub;", 8834), QR("&sup;", 8835), QR("&nsub;", 8836),
    QR("&sube;", 8838), QR("&supe;", 8839), QR("&oplus;", 8853), QR("&otimes;", 8855),
    QR("&perp;", 8869), QR("&sdot;", 8901),
    QR("&lceil;", 8968), QR("&rceil;", 8969), QR("&lfloor;", 8970), QR("&rfloor;", 8971),
    QR("&lang;", 9001), QR("&rang;", 9002),
    QR("&loz;", 9674),
    QR("&spades;", 9824), QR("&clubs;", 9827), QR("&hearts;", 9829), QR("&diams;", 9830),
    // HTML 4.01 special characters (HTMLspecial) without quot, amp, lt, gt.
    QR("&OElig;", 338), QR("&oelig;", 339), QR("&Scaron;", 352), QR("&scaron;", 353),
    QR("&Yuml;", 376), QR("&circ;", 710), QR("&tilde;", 732),
    QR("&ensp;", 8194), QR("&emsp;", 8195), QR("&thinsp;", 8201), QR("&zwnj;", 8204),
    QR("&zwj;", 8205), QR("&lrm;", 8206), QR("&rlm;", 8207), QR("&ndash;", 8211),
    QR("&mdash;", 8212), QR("&lsquo;", 8216), QR("&rsquo;", 8217), QR("&sbquo;", 8218),
    QR("&ldquo;", 8220), QR("&rdquo;", 8221), QR("&bdquo;", 8222), QR("&dagger;", 8224),
    QR("&Dagger;", 8225), QR("&permil;", 8240), QR("&lsaquo;", 8249), QR("&rsaquo;", 8250),
    QR("&euro;", 8364),
};

static_assert(sizeof kNamedRefs / sizeof kNamedRefs[0] == 281, "the table has 281 named references");

}  // namespace

const NamedRef* NamedRefs(std::size_t* count) {
  if (count != nullptr) *count = sizeof kNamedRefs / sizeof kNamedRefs[0];
  return kNamedRefs;
}

}  // namespace qorvu_text_internal
