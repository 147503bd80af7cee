#include "tools/demo_db/demo_db.h"

#include <iconv.h>
#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "testing/odbc/sqlite_schema.h"
#include "testing/odbc/standin.h"

namespace demo_db {
namespace {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;
  }
};

// Decodes one UTF-8 sequence at s[i]; returns its code point and advances i.
unsigned NextCodePoint(const std::string& s, size_t* i) {
  const auto c = static_cast<unsigned char>(s[*i]);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  unsigned cp = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0Fu : extra == 1 ? c & 0x1Fu : c;
  ++*i;
  while (extra-- > 0 && *i < s.size()) cp = (cp << 6) | (static_cast<unsigned char>(s[(*i)++]) & 0x3Fu);
  return cp;
}

constexpr std::array<const char*, 16> kSurnames = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵",
                                                    "吴", "周", "徐", "孙", "马", "朱", "胡", "郭"};
constexpr std::array<const char*, 20> kGiven = {"伟", "芳", "娜", "秀英", "敏", "静", "丽", "强", "磊", "军",
                                                 "洋", "勇", "艳", "杰", "娟", "涛", "明", "超", "秀兰", "霞"};
constexpr std::array<const char*, 12> kCities = {"北京", "上海", "广州", "深圳", "杭州", "南京",
                                                  "成都", "武汉", "西安", "重庆", "天津", "苏州"};
constexpr std::array<const char*, 8> kStreets = {"中山路", "人民路", "解放大道", "建设路", "和平街", "长江路", "新华路", "科技园路"};
constexpr std::array<const char*, 8> kGoods = {"文件", "服装", "电子产品", "食品", "样品", "书籍", "配件", "化妆品"};
constexpr std::array<const char*, 6> kTrades = {"贸易有限公司", "电子科技公司", "服饰有限公司", "进出口公司", "物流中心", "商行"};
constexpr std::array<const char*, 6> kErrors = {"地址不详，无法投递", "收件人拒收", "电话无人接听", "包裹破损", "海关查验", "超区件退回"};

struct Kind {
  const char* code;
  const char* name;
  int take, send, sign, error, days;
  const char* key;  // nullptr = NULL
};
constexpr std::array<Kind, 5> kKinds = {{{"EMS", "邮政特快", 1, 1, 1, 1, 0, "ems"},
                                         {"SF", "顺丰速运", 1, 1, 1, 1, 0, "sf"},
                                         {"ZTO", "中通快递", 1, 0, 1, 1, 2, nullptr},
                                         {"DHL", "DHL国际", 1, 1, 1, 1, 7, "dhl"},
                                         {"LOCAL", "同城配送", 0, 1, 1, 0, 0, nullptr}}};

class Generator {
 public:
  Generator(sqlite3* db, const DemoOptions& options)
      : db_(db), options_(options), rng_(options.seed), now_(options.now ? options.now : std::time(nullptr)) {}

  bool Run(DemoCounts* counts, std::string* error);

 private:
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <typename A>
  std::string Pick(const A& list) {
    return ToGbk(list[static_cast<size_t>(Uniform(0, static_cast<int>(list.size()) - 1))]);
  }
  std::string Name() { return Pick(kSurnames) + Pick(kGiven); }
  std::string Address(const std::string& city) {
    return city + Pick(kStreets) + std::to_string(Uniform(1, 999)) + ToGbk("号");
  }
  std::string Mobile() {
    char text[16];
    std::snprintf(text, sizeof text, "1%d%09d", Uniform(3, 9), Uniform(0, 999999999));
    return text;
  }
  std::string OpenId() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string id = "oQv";
    while (id.size() < 28) id += kChars[Uniform(0, 63)];
    return id;
  }
  // Local time text of now minus seconds, as the dates are stored.
  std::string Date(long seconds_before) {
    const std::time_t t = now_ - seconds_before;
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(text, n);
  }

  Stmt Prepare(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr) != SQLITE_OK) failed_ = sqlite3_errmsg(db_);
    return Stmt(raw);
  }
  // Binds the values in order (text, or NULL for a null optional) and runs.
  struct Value {
    enum { kText, kInt, kReal, kNull } kind;
    std::string text;
    long long i = 0;
    double d = 0;
  };
  static Value T(std::string s) { return Value{Value::kText, std::move(s)}; }
  static Value I(long long v) { return Value{Value::kInt, {}, v}; }
  static Value R(double v) { return Value{Value::kReal, {}, 0, v}; }
  static Value Null() { return Value{Value::kNull, {}}; }
  void Insert(sqlite3_stmt* s, const std::vector<Value>& values) {
    if (s == nullptr || !failed_.empty()) return;
    sqlite3_reset(s);
    int index = 1;
    for (const Value& v : values) {
      switch (v.kind) {
        case Value::kText:
          sqlite3_bind_text(s, index, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
          break;
        case Value::kInt: sqlite3_bind_int64(s, index, v.i); break;
        case Value::kReal: sqlite3_bind_double(s, index, v.d); break;
        case Value::kNull: sqlite3_bind_null(s, index); break;
      }
      ++index;
    }
    if (sqlite3_step(s) != SQLITE_DONE) failed_ = sqlite3_errmsg(db_);
  }

  sqlite3* db_;
  DemoOptions options_;
  std::mt19937 rng_;
  std::time_t now_;
  std::string failed_;
};

bool Generator::Run(DemoCounts* counts, std::string* error) {
  DemoCounts made;
  const int accounts = options_.accounts > 0 ? options_.accounts : 1;
  const int consignments = options_.consignments > 0 ? options_.consignments : 0;
  sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);

  Stmt dict = Prepare("INSERT INTO sys_dict(dcname,dcvalue,cnote) VALUES(?,?,?)");
  Insert(dict.get(), {T("55"), T("0"), T("tracking details in English")});
  Insert(dict.get(), {T("29"), T("1"), T("web platform on this server")});
  Insert(dict.get(), {T("45"), T("1"), T("web site id")});
  Insert(dict.get(), {T("10"), T(ToGbk("快递管理系统")), T("")});
  Stmt version = Prepare("INSERT INTO sys_version(cversion,ddate) VALUES(?,?)");
  Insert(version.get(), {T("2023.11"), T(Date(400 * 86400L))});
  Insert(version.get(), {T("2024.06"), T(Date(30 * 86400L))});
  Stmt update = Prepare("INSERT INTO sys_server_update(ii,nn,cname,cdesc,ddate) VALUES(?,?,?,?,?)");
  const char* components[] = {"QorvuServer", "CSTessaly", "CSTrack", "CSPrint", "Pandel", "PandelData"};
  for (int i = 0; i < 6; ++i) Insert(update.get(), {I(i), I(100 + i * 3), T(components[i]), T(""), T(Date(60 * 86400L))});

  Stmt kind = Prepare("INSERT INTO ems_kind(cemskind,cname,nsmtake,nsmsend,nsmsign,nsmerror,nsmdays,ckey) VALUES(?,?,?,?,?,?,?,?)");
  for (const Kind& k : kKinds) {
    Insert(kind.get(), {T(k.code), T(ToGbk(k.name)), I(k.take), I(k.send), I(k.sign), I(k.error), I(k.days),
                        k.key ? T(k.key) : Null()});
  }

  const char* customer_kinds[] = {"VIP", "A", "B", ""};
  Stmt staff = Prepare("INSERT INTO man_main(mcname,mcsmphone,clmphone,mccomway,ccltkind,cmsn) VALUES(?,?,?,?,?,?)");
  std::vector<std::string> staff_names;
  for (int i = 0; i < 20; ++i) {
    std::string name = Name();
    if (i > 0 && Chance(0.3)) name += std::to_string(i);  // names are keys: keep them apart
    staff_names.push_back(name);
    Insert(staff.get(), {T(name), T(Mobile()), Chance(0.8) ? T(Mobile()) : Null(), T(ToGbk("手机") + Mobile()),
                         T(customer_kinds[Uniform(0, 3)]), T(Chance(0.5) ? OpenId() : "")});
    ++made.staff;
  }

  Stmt account = Prepare(
      "INSERT INTO client_arc(icid,caccount,cunitname,cwebac,cmsn,csmnumber,cphone,fdeposit,fpay0,fpay1,ckind) "
      "VALUES(?,?,?,?,?,?,?,?,?,?,?)");
  Stmt bind = Prepare("INSERT INTO wc_bind(cphone,copenid,ddate) VALUES(?,?,?)");
  for (int icid = 1; icid <= accounts; ++icid) {
    char code[16];
    std::snprintf(code, sizeof code, "C%05d", icid);
    const double deposit = Uniform(0, 5000);
    // About one account in eight is in arrears.
    const double pay = Chance(0.125) ? deposit + Uniform(1, 800) : deposit * Uniform(0, 90) / 100.0;
    const std::string sms = Chance(0.7) ? Mobile() : "";
    Insert(account.get(), {I(icid), T(code), T(Pick(kCities) + Pick(kTrades)), T(Chance(0.6) ? OpenId() : ""),
                           T(Chance(0.2) ? OpenId() : ""), T(sms), T("0755-8" + std::to_string(Uniform(1000000, 9999999))),
                           R(deposit), R(pay * 0.7), R(pay * 0.3), T(customer_kinds[Uniform(0, 3)])});
    if (!sms.empty() && Chance(0.3)) {
      Insert(bind.get(), {T(sms), T(OpenId()), T(Date(Uniform(1, 300) * 86400L))});
      ++made.bindings;
    }
    ++made.accounts;
  }

  Stmt rec = Prepare(
      "INSERT INTO client_rec(irid,icid,cnum,cserviceno,cemskind,cdes,caddrfrom,csender,csaddr,csphone,creceiver,"
      "caddr,cphone,crsms,cgoods,iitem,iquantity,ctransnote,famount,fgoods,npayway,ndays,cbearer,csign,nstate,ddate,"
      "dsenddate,dsysdate,dadate,fweight,ffweight,nfrom) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  Stmt detail = Prepare("INSERT INTO check_detail(irid,npos,wpos,cdate,cplace,cinfo) VALUES(?,?,?,?,?,?)");
  Stmt detail_en = Prepare("INSERT INTO check_detail_en(irid,npos,wpos,cdate,cplace,cinfo) VALUES(?,?,?,?,?,?)");
  Stmt scan = Prepare(
      "INSERT INTO check_track(irid,ikind,nlan,wpos,ddate,cref,cstation,ccheckpoint,cinput) VALUES(?,?,?,?,?,?,?,?,?)");
  Stmt mess = Prepare(
      "INSERT INTO wc_mess(icid,nstate,ntype,iidref,copenid,curl,cparam,ctext,msgid,ddate,dsdate) "
      "VALUES(?,1,?,?,?,'',?,?,?,?,?)");
  for (int irid = 1; irid <= consignments; ++irid) {
    const int icid = Uniform(1, accounts);
    const Kind& k = kKinds[static_cast<size_t>(Uniform(0, static_cast<int>(kKinds.size()) - 1))];
    // States: 0 not sent, 1 sent, 2 in the network, 3 signed, 4..10 errors.
    const int roll = Uniform(0, 99);
    const int state = roll < 15 ? 0 : roll < 40 ? 1 : roll < 65 ? 2 : roll < 90 ? 3 : Uniform(4, 10);
    const long entered = Uniform(600, 9 * 86400);  // seconds before now
    const long sent = entered - Uniform(300, 7200);
    const std::string from = Pick(kCities), to = Pick(kCities);
    char cnum[24];
    std::snprintf(cnum, sizeof cnum, "QV%010d", 100000000 + irid);
    const std::string receiver = Name();
    const double weight = Uniform(1, 300) / 10.0;
    Insert(rec.get(),
           {I(irid), I(icid), T(cnum), T(Chance(0.5) ? k.code + std::to_string(Uniform(10000000, 99999999)) : ""),
            T(k.code), T(to), T(from), T(Name()), T(Address(from)), T(Mobile()), T(receiver), T(Address(to)),
            T(Chance(0.5) ? Mobile() : "0" + std::to_string(Uniform(10, 99)) + "-" + std::to_string(Uniform(2000000, 8999999))),
            T(Chance(0.6) ? Mobile() : ""), T(Pick(kGoods)), I(Uniform(1, 5)), I(Uniform(0, 20)),
            T(Chance(0.2) ? ToGbk("易碎品") : ""), R(Uniform(8, 300)), R(Chance(0.2) ? Uniform(50, 2000) : 0),
            I(Uniform(0, 2)), I(Uniform(1, 5)), T(staff_names[static_cast<size_t>(Uniform(0, 19))]),
            T(state == 3 ? (Chance(0.7) ? receiver : ToGbk("前台代收")) : ""), I(state), T(Date(entered)),
            state >= 1 ? T(Date(sent > 0 ? sent : 0)) : Null(), T(Date(entered)),
            state == 3 ? T(Date(Uniform(60, sent > 120 ? static_cast<int>(sent) : 120))) : Null(), R(weight),
            R(weight), I(Chance(0.05) ? 3 : 0)});
    if (state >= 1) {
      const int steps = state == 1 ? 1 : Uniform(2, 5);
      for (int pos = 1; pos <= steps; ++pos) {
        const bool last = pos == steps;
        const int npos = state == 2 && last ? 100 : pos;  // 100: entered the carrier's network
        std::string info = pos == 1 ? ToGbk("已收件") : ToGbk("运输中");
        if (last && state == 3) info = ToGbk("已签收");
        if (last && state > 3) info = Pick(kErrors);
        if (npos == 100) info = ToGbk("已交承运商");
        const std::string when = Date(sent - pos * 3600L > 0 ? sent - pos * 3600L : 0).substr(0, 16);
        const std::string place = pos == 1 ? from : last ? to : Pick(kCities);
        Insert(detail.get(), {I(irid), I(npos), I(pos), T(when), T(place), T(info)});
        if (irid % 4 == 0) Insert(detail_en.get(), {I(irid), I(npos), I(pos), T(when), T("Hub"), T("In transit")});
        ++made.details;
      }
      if (state <= 2) {
        // An arrival and a departure scan, and for some a dispatch to a courier.
        for (int ikind = 0; ikind <= (state == 2 && Chance(0.5) ? 2 : 1); ++ikind) {
          Insert(scan.get(), {I(irid), I(ikind), I(Chance(0.2) ? 10 : 0), I(1), T(Date(sent > 3600 ? sent - 3600 : 0)),
                              T(staff_names[static_cast<size_t>(Uniform(0, 19))]), T(from.substr(0, 8)),
                              T(to.substr(0, 8)), T(staff_names[0])});
          ++made.scans;
        }
      }
      if (state == 3 && Chance(0.3)) {
        Insert(mess.get(), {I(icid), I(6), I(irid), T(OpenId()), T(std::string(cnum) + "|" + receiver + "|"),
                            T(ToGbk("您的快件已签收")), T("msg" + std::to_string(irid)), T(Date(entered / 2)),
                            T(Date(entered / 2 - 30 > 0 ? entered / 2 - 30 : 0))});
      }
    }
    ++made.consignments;
  }

  Stmt receipt = Prepare(
      "INSERT INTO rec_trans(biid,icid,irid,cf_num,drdate,fweight,iitem,cf_emskind,cmark,cstationr) VALUES(?,?,?,?,?,?,?,?,?,?)");
  for (int i = 0; i < consignments / 20 + 1; ++i) {
    Insert(receipt.get(), {I(0), I(Uniform(1, accounts)), I(Chance(0.8) ? 0 : Uniform(1, consignments + 1)),
                           T("TR" + std::to_string(700000 + i)), T(Date(Uniform(600, 3 * 86400))), R(Uniform(1, 200) / 10.0),
                           I(Uniform(1, 3)), T(kKinds[static_cast<size_t>(Uniform(0, 3))].code), T(Chance(0.3) ? "A" : ""),
                           T(Pick(kCities))});
    ++made.receipts;
  }
  Stmt bag = Prepare(
      "INSERT INTO rec_trans_bag(icid,irid,bget,famount,cnum,cno,dsysdate,creceiver,cdes,cmark,cemskind) VALUES(?,?,?,?,?,?,?,?,?,?,?)");
  for (int i = 0; i < consignments / 30 + 1; ++i) {
    Insert(bag.get(), {I(Uniform(1, accounts)), I(Chance(0.85) ? 0 : Uniform(1, consignments + 1)), I(Chance(0.8) ? 1 : 0),
                       R(Uniform(0, 60)), T("BG" + std::to_string(800000 + i)), T("NO" + std::to_string(900000 + i)),
                       T(Date(Uniform(600, 2 * 86400))), T(Name()), T(Pick(kCities)), T(""),
                       T(kKinds[static_cast<size_t>(Uniform(0, 3))].code)});
    ++made.bags;
  }

  if (!failed_.empty()) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (error != nullptr) *error = failed_;
    return false;
  }
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    if (error != nullptr) *error = sqlite3_errmsg(db_);
    return false;
  }
  if (counts != nullptr) *counts = made;
  return true;
}

}  // namespace

std::string ToGbk(const std::string& utf8) {
  static thread_local std::unique_ptr<iconv_t, IconvCloser> cd = [] {
    iconv_t raw = iconv_open("GBK", "UTF-8");
    return std::unique_ptr<iconv_t, IconvCloser>(raw == reinterpret_cast<iconv_t>(-1) ? nullptr : new iconv_t(raw));
  }();
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t start = i;
    const unsigned cp = NextCodePoint(utf8, &i);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    char in[8];
    const size_t in_len = i - start < sizeof in ? i - start : sizeof in;
    std::copy(utf8.begin() + static_cast<long>(start), utf8.begin() + static_cast<long>(start + in_len), in);
    char buffer[8];
    char* in_ptr = in;
    char* out_ptr = buffer;
    size_t in_left = in_len, out_left = sizeof buffer;
    if (cd && iconv(*cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1)) {
      out.append(buffer, static_cast<size_t>(out_ptr - buffer));
    } else {
      if (cd) iconv(*cd, nullptr, nullptr, nullptr, nullptr);
      out += "&#" + std::to_string(cp) + ";";
    }
  }
  return out;
}

bool GenerateDemoDatabase(const std::string& qorvu_path, const std::string& pandel_path, const DemoOptions& options,
                          DemoCounts* counts, std::string* error) {
  if (!standin::CreateDatabaseFile(qorvu_path, standin::Database::kQorvu, options.wal, error)) return false;
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(qorvu_path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    if (error != nullptr) *error = raw ? sqlite3_errmsg(raw) : "cannot open " + qorvu_path;
    sqlite3_close_v2(raw);
    return false;
  }
  std::unique_ptr<sqlite3, DbCloser> db(raw);
  if (!standin::RegisterSqlServerFunctions(db.get())) {
    if (error != nullptr) *error = "cannot register the collation";
    return false;
  }
  Generator generator(db.get(), options);
  if (!generator.Run(counts, error)) return false;
  if (pandel_path.empty()) return true;
  if (!standin::CreateDatabaseFile(pandel_path, standin::Database::kPandel, options.wal, error)) return false;
  raw = nullptr;
  if (sqlite3_open_v2(pandel_path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    if (error != nullptr) *error = "cannot open " + pandel_path;
    sqlite3_close_v2(raw);
    return false;
  }
  std::unique_ptr<sqlite3, DbCloser> pandel(raw);
  standin::RegisterSqlServerFunctions(pandel.get());
  char* message = nullptr;
  const int rc = sqlite3_exec(pandel.get(),
                              "INSERT INTO web_main(wcid,wcname,wcroot) VALUES(1,'Qorvu','D:\\wwwroot\\qorvu');"
                              "INSERT INTO sys_version(cversion,ddate) VALUES('2024.03',datetime('now','localtime'));",
                              nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    if (error != nullptr) *error = message ? message : "pandel rows";
    sqlite3_free(message);
    return false;
  }
  return true;
}

}  // namespace demo_db
