#include "agent/compose/render.h"

#include <cstring>
#include <string_view>

#include "agent/compose/compose_text.h"
#include "agent/compose/mess_types.h"

namespace {

using compose_text::GbkCutLength;
using compose_text::GbkUnitLength;

// Every variable a type can use, once each. GBK texts, matched byte for byte.
constexpr std::string_view kWaybillNo = "{\xD4\xCB\xB5\xA5\xBA\xC5}";  // {运单号}
constexpr std::string_view kPickupDate = "{\xCA\xD5\xBC\xFE\xC8\xD5\xC6\xDA}";  // {收件日期}
constexpr std::string_view kSendDate = "{\xB7\xA2\xBC\xFE\xC8\xD5\xC6\xDA}";  // {发件日期}
constexpr std::string_view kReceiver = "{\xCA\xD5\xBC\xFE\xC8\xCB}";  // {收件人}
constexpr std::string_view kDestination = "{\xC4\xBF\xB5\xC4\xB5\xD8}";  // {目的地}
constexpr std::string_view kCustomerAccount = "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}";  // {客户帐号}
constexpr std::string_view kCustomerName = "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}";  // {客户名称}
constexpr std::string_view kEntryTime = "{\xC2\xBC\xB5\xA5\xCA\xB1\xBC\xE4}";  // {录单时间}
constexpr std::string_view kOrigin = "{\xB3\xF6\xB7\xA2\xB5\xD8}";  // {出发地}
constexpr std::string_view kTransferNo = "{\xD7\xAA\xB5\xA5\xBA\xC5}";  // {转单号}
constexpr std::string_view kPieceCount = "{\xBC\xFE\xCA\xFD}";  // {件数}
constexpr std::string_view kSender = "{\xB7\xA2\xBC\xFE\xC8\xCB}";  // {发件人}
constexpr std::string_view kSenderPhone = "{\xB7\xA2\xBC\xFE\xC8\xCB\xB5\xE7\xBB\xB0}";  // {发件人电话}
constexpr std::string_view kGoodsName = "{\xCE\xEF\xC6\xB7\xC3\xFB\xB3\xC6}";  // {物品名称}
constexpr std::string_view kGoodsCount = "{\xCE\xEF\xC6\xB7\xCA\xFD\xC1\xBF}";  // {物品数量}
constexpr std::string_view kConsignNote = "{\xCD\xD0\xD4\xCB\xB1\xB8\xD7\xA2}";  // {托运备注}
constexpr std::string_view kFreightCollect = "{\xB5\xBD\xB8\xB6\xD4\xCB\xB7\xD1}";  // {到付运费}
constexpr std::string_view kCashOnDelivery = "{\xB4\xFA\xCA\xD5\xBB\xF5\xBF\xEE}";  // {代收货款}
constexpr std::string_view kExpectedDays = "{\xD4\xA4\xBC\xC6\xCC\xEC\xCA\xFD}";  // {预计天数}
constexpr std::string_view kCompanySite = "{\xB9\xAB\xCB\xBE\xCD\xF8\xD6\xB7}";  // {公司网址}
constexpr std::string_view kDeliverer = "{\xC5\xC9\xBC\xFE\xC8\xCB}";  // {派件人}
constexpr std::string_view kDelivererPhone = "{\xC5\xC9\xBC\xFE\xC8\xCB\xB5\xE7\xBB\xB0}";  // {派件人电话}
constexpr std::string_view kSignDate = "{\xC7\xA9\xCA\xD5\xC8\xD5\xC6\xDA}";  // {签收日期}
constexpr std::string_view kSignTime = "{\xC7\xA9\xCA\xD5\xCA\xB1\xBC\xE4}";  // {签收时间}
constexpr std::string_view kSigner = "{\xC7\xA9\xCA\xD5\xC8\xCB}";  // {签收人}
constexpr std::string_view kState = "{\xD7\xB4\xCC\xAC}";  // {状态}
constexpr std::string_view kInvoiceNo = "{\xB7\xA2\xC6\xB1\xBA\xC5}";  // {发票号}
constexpr std::string_view kRecordId = "{\xBC\xC7\xC2\xBCID}";  // {记录ID}
constexpr std::string_view kDate = "{\xC8\xD5\xC6\xDA}";  // {日期}
constexpr std::string_view kAmount = "{\xBD\xF0\xB6\xEE}";  // {金额}
constexpr std::string_view kSettledBalance = "{\xBD\xE1\xCB\xE3\xD3\xE0\xB6\xEE}";  // {结算余额}
constexpr std::string_view kTotalBalance = "{\xD7\xDC\xBC\xC6\xD3\xE0\xB6\xEE}";  // {总计余额}
constexpr std::string_view kTime = "{\xCA\xB1\xBC\xE4}";  // {时间}
constexpr std::string_view kWeight = "{\xD6\xD8\xC1\xBF}";  // {重量}
constexpr std::string_view kFromNetwork = "{\xC0\xB4\xD7\xD4\xCD\xF8\xC2\xE7}";  // {来自网络}
constexpr std::string_view kLabel = "{\xB1\xEA\xC7\xA9}";  // {标签}
constexpr std::string_view kHandoverStation = "{\xB4\xAB\xBD\xD3\xD5\xBE\xB5\xE3}";  // {传接站点}
constexpr std::string_view kInnerNo = "{\xC4\xDA\xB5\xA5\xBA\xC5}";  // {内单号}
constexpr std::string_view kBusinessDate = "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}";  // {业务日期}
constexpr std::string_view kKeptText = "{\xC1\xF4\xD3\xC3\xB4\xAE}";  // {留用串}
constexpr std::string_view kSpare4 = "{\xB1\xB8\xD3\xC3" "4}";  // {备用4}
constexpr std::string_view kDescription = "{\xC3\xE8\xCA\xF6}";  // {描述}
constexpr std::string_view kOpenId = "{OpenID}";  // {OpenID}
constexpr std::string_view kPassword = "{\xC3\xDC\xC2\xEB}";  // {密码}
constexpr std::string_view kUserAccount = "{\xD3\xC3\xBB\xA7\xD5\xCA\xBA\xC5}";  // {用户帐号}
constexpr std::string_view kUserName = "{\xD3\xC3\xBB\xA7\xC3\xFB\xB3\xC6}";  // {用户名称}
constexpr std::string_view kExpressKind = "{\xBF\xEC\xB5\xDD\xC0\xE0\xB1\xF0}";  // {快递类别}
constexpr std::string_view kTrackingNetwork = "{\xB9\xD8\xC1\xAA\xD7\xB7\xD7\xD9\xCD\xF8\xC2\xE7}";  // {关联追踪网络}
constexpr std::string_view kOnlineTime = "{\xC9\xCF\xCD\xF8\xCA\xB1\xBC\xE4}";  // {上网时间}
constexpr std::string_view kDateTime = "{\xC8\xD5\xC6\xDA\xCA\xB1\xBC\xE4}";  // {日期时间}
constexpr std::string_view kReceiverAddress = "{\xCA\xD5\xBC\xFE\xB5\xD8\xD6\xB7}";  // {收件地址}
constexpr std::string_view kReceiverPhone = "{\xCA\xD5\xBC\xFE\xB5\xE7\xBB\xB0}";  // {收件电话}
constexpr std::string_view kSenderAddress = "{\xB7\xA2\xBC\xFE\xB5\xD8\xD6\xB7}";  // {发件地址}
constexpr std::string_view kSenderPhoneNo = "{\xB7\xA2\xBC\xFE\xB5\xE7\xBB\xB0}";  // {发件电话}
constexpr std::string_view kDispatcher = "{\xB5\xF7\xB6\xC8\xD5\xDF}";  // {调度者}
constexpr std::string_view kDispatchTime = "{\xB5\xF7\xB6\xC8\xCA\xB1\xBC\xE4}";  // {调度时间}
constexpr std::string_view kDispatchNote = "{\xB5\xF7\xB6\xC8\xB1\xB8\xD7\xA2}";  // {调度备注}
constexpr std::string_view kCollector = "{\xC8\xA1\xBC\xFE\xC8\xCB}";  // {取件人}
constexpr std::string_view kDelivererMobile = "{\xC5\xC9\xBC\xFE\xC8\xCB\xCA\xD6\xBB\xFA}";  // {派件人手机}
constexpr std::string_view kNickname = "{\xEA\xC7\xB3\xC6}";  // {昵称}
constexpr std::string_view kPhone = "{\xB5\xE7\xBB\xB0}";  // {电话}
constexpr std::string_view kBagCount = "{\xD7\xDC\xB0\xFC\xCA\xFD}";  // {总包数}
constexpr std::string_view kTotalFee = "{\xD7\xDC\xB7\xD1\xD3\xC3}";  // {总费用}
constexpr std::string_view kSuggestedTopUp = "{\xBD\xA8\xD2\xE9\xB3\xE4\xD6\xB5\xB6\xEE}";  // {建议充值额}
constexpr std::string_view kOriginalWeight = "{\xD4\xAD\xD6\xD8}";  // {原重}
constexpr std::string_view kFreight = "{\xD4\xCB\xB7\xD1}";  // {运费}
constexpr std::string_view kUserRealName = "{\xD3\xC3\xBB\xA7\xD0\xD5\xC3\xFB}";  // {用户姓名}
constexpr std::string_view kOperator = "{\xB2\xD9\xD7\xF7\xD5\xDF}";  // {操作者}
constexpr std::string_view kOperationPlace = "{\xB2\xD9\xD7\xF7\xB5\xD8\xB5\xE3}";  // {操作地点}
constexpr std::string_view kOperationText = "{\xB2\xD9\xD7\xF7\xC3\xE8\xCA\xF6}";  // {操作描述}
constexpr std::string_view kOperationTime = "{\xB2\xD9\xD7\xF7\xCA\xB1\xBC\xE4}";  // {操作时间}
constexpr std::string_view kOperationStation = "{\xB2\xD9\xD7\xF7\xD5\xBE\xB5\xE3}";  // {操作站点}
constexpr std::string_view kNextStation = "{\xCF\xC2\xD2\xBB\xD5\xBE\xB5\xE3}";  // {下一站点}
constexpr std::string_view kCourier = "{\xC5\xC9\xBC\xFE\xD4\xB1}";  // {派件员}
constexpr std::string_view kContact = "{\xC1\xAA\xCF\xB5\xB7\xBD\xCA\xBD}";  // {联系方式}

// The variables of each type in value-list order: the n-th variable stands
// for the n-th piece.
// type 0
constexpr std::string_view kVars0[] = {
    kWaybillNo, kPickupDate, kSendDate, kReceiver, kDestination, kCustomerAccount, kCustomerName,
    kEntryTime, kOrigin
};
// type 1
constexpr std::string_view kVars1[] = {
    kWaybillNo, kTransferNo, kPieceCount, kSendDate, kSender, kSenderPhone, kReceiver, kDestination,
    kGoodsName, kGoodsCount, kConsignNote, kFreightCollect, kCashOnDelivery, kExpectedDays,
    kCompanySite, kCustomerAccount, kCustomerName, kDeliverer, kDelivererPhone, kOrigin
};
// type 2
constexpr std::string_view kVars2[] = {
    kWaybillNo, kTransferNo, kPickupDate, kDestination, kReceiver, kSignDate, kSignTime, kSigner,
    kCustomerAccount, kCustomerName, kOrigin
};
// type 3
constexpr std::string_view kVars3[] = {
    kWaybillNo, kTransferNo, kPickupDate, kDestination, kReceiver, kState, kCustomerAccount,
    kCustomerName, kOrigin
};
// type 4
constexpr std::string_view kVars4[] = {
    kInvoiceNo, kRecordId, kDate, kAmount, kSettledBalance, kTotalBalance, kCustomerAccount,
    kCustomerName
};
// type 5
constexpr std::string_view kVars5[] = {
    kWaybillNo, kDate, kAmount, kSettledBalance, kTotalBalance, kCustomerAccount, kCustomerName
};
// types 6 and 20
constexpr std::string_view kVars6[] = {
    kDate, kTime, kSettledBalance, kTotalBalance, kCustomerAccount, kCustomerName
};
// type 7
constexpr std::string_view kVars7[] = {
    kWaybillNo, kDate, kTime, kWeight, kPieceCount, kFromNetwork, kLabel, kHandoverStation,
    kCustomerAccount, kCustomerName
};
// type 8
constexpr std::string_view kVars8[] = {
    kInnerNo, kTransferNo, kBusinessDate, kDestination, kReceiver, kLabel, kKeptText, kSpare4,
    kCustomerAccount, kCustomerName
};
// type 9
constexpr std::string_view kVars9[] = {
    kDate, kDescription, kState, kCustomerAccount, kCustomerName
};
// type 10
constexpr std::string_view kVars10[] = {kDate, kOpenId, kPassword, kCustomerAccount, kCustomerName};
// type 11
constexpr std::string_view kVars11[] = {kDate, kDescription, kState, kUserAccount, kUserName};
// type 12
constexpr std::string_view kVars12[] = {
    kInnerNo, kTransferNo, kBusinessDate, kDestination, kReceiver, kCustomerAccount, kCustomerName,
    kExpressKind, kTrackingNetwork, kOnlineTime, kOrigin
};
// type 13
constexpr std::string_view kVars13[] = {
    kInnerNo, kTransferNo, kDateTime, kDestination, kReceiver, kReceiverAddress, kReceiverPhone,
    kCustomerAccount, kCustomerName, kExpressKind, kLabel
};
// type 14
constexpr std::string_view kVars14[] = {
    kInnerNo, kTransferNo, kBusinessDate, kDestination, kReceiver, kLabel, kKeptText, kSpare4
};
// type 15
constexpr std::string_view kVars15[] = {
    kInnerNo, kSender, kSenderAddress, kSenderPhoneNo, kReceiver, kReceiverAddress, kReceiverPhone,
    kDispatcher, kDispatchTime, kDispatchNote, kCollector, kCustomerAccount, kCustomerName
};
// type 16
constexpr std::string_view kVars16[] = {
    kInnerNo, kTransferNo, kSender, kSenderAddress, kSenderPhoneNo, kReceiver, kReceiverAddress,
    kReceiverPhone, kDeliverer, kDispatchTime, kDelivererMobile, kCustomerAccount, kCustomerName,
    kOrigin
};
// type 17
constexpr std::string_view kVars17[] = {kDate, kOpenId, kNickname, kPhone};
// type 18
constexpr std::string_view kVars18[] = {
    kDate, kTime, kBagCount, kTotalFee, kSuggestedTopUp, kSettledBalance, kTotalBalance,
    kCustomerAccount, kCustomerName
};
// type 19
constexpr std::string_view kVars19[] = {
    kInnerNo, kTransferNo, kDateTime, kDestination, kReceiver, kOriginalWeight, kWeight, kFreight,
    kSettledBalance, kTotalBalance, kCustomerAccount, kCustomerName
};
// type 21
constexpr std::string_view kVars21[] = {
    kInnerNo, kTransferNo, kDateTime, kDestination, kReceiver, kExpressKind, kLabel, kUserRealName,
    kCustomerAccount, kCustomerName
};
// type 22
constexpr std::string_view kVars22[] = {
    kInnerNo, kTransferNo, kBusinessDate, kDestination, kReceiver, kOperator, kOperationPlace,
    kOperationText, kOperationTime, kOperationStation, kNextStation, kCustomerAccount, kCustomerName
};
// type 23
constexpr std::string_view kVars23[] = {
    kInnerNo, kTransferNo, kBusinessDate, kDestination, kReceiver, kOperator, kOperationPlace,
    kOperationText, kOperationTime, kOperationStation, kCustomerAccount, kCustomerName
};
// type 24
constexpr std::string_view kVars24[] = {
    kInnerNo, kTransferNo, kBusinessDate, kDestination, kReceiver, kOperator, kOperationPlace,
    kOperationText, kOperationTime, kOperationStation, kCourier, kContact, kCustomerAccount,
    kCustomerName
};

struct VariableList {
  const std::string_view* names;
  int count;
};

template <std::size_t N>
constexpr VariableList List(const std::string_view (&names)[N]) {
  return {names, static_cast<int>(N)};
}

// Types 6 and 20 share one list.
constexpr VariableList kVariables[kMessTypeCount] = {
    List(kVars0),  List(kVars1),  List(kVars2),  List(kVars3),  List(kVars4),
    List(kVars5),  List(kVars6),  List(kVars7),  List(kVars8),  List(kVars9),
    List(kVars10), List(kVars11), List(kVars12), List(kVars13), List(kVars14),
    List(kVars15), List(kVars16), List(kVars17), List(kVars18), List(kVars19),
    List(kVars6),  List(kVars21), List(kVars22), List(kVars23), List(kVars24),
};

constexpr int kMostVariables = 20;  // type 1
constexpr std::size_t kLongestPiece = 510;  // longer pieces are left out of the list
constexpr std::size_t kValueLimit = sizeof(MessValue::value) - 1;
// Room for one substitution pass before the cut back to kValueLimit; far
// more than the longest reference, so the cut sees whole characters.
constexpr std::size_t kScratchSize = 2 * sizeof(MessValue::value);

// Splits the value list at every "|" that is not the second byte of a GBK
// character. Keeps the first kMostVariables pieces and counts all of them.
int SplitPieces(std::string_view list, std::string_view (&pieces)[kMostVariables]) {
  int count = 0;
  auto add = [&](std::string_view piece) {
    if (piece.size() > kLongestPiece) return;
    if (count < kMostVariables) pieces[count] = piece;
    ++count;
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i < list.size();) {
    const std::size_t n = GbkUnitLength(list, i);
    if (n == 1 && list[i] == '|') {
      add(list.substr(start, i - start));
      start = i + 1;
    }
    i += n;
  }
  add(list.substr(start));
  return count;
}

// Replaces every occurrence of variable (at character starts) in value by
// piece, into out (kScratchSize bytes). The result is cut back to
// kValueLimit bytes at a character boundary. Returns its length.
std::size_t ReplaceVariable(std::string_view value, std::string_view variable,
                            std::string_view piece, char* out) {
  std::size_t length = 0;
  auto put = [&](std::string_view bytes) {
    const std::size_t n = std::min(bytes.size(), kScratchSize - 1 - length);
    if (n > 0) std::memcpy(out + length, bytes.data(), n);
    length += n;
  };
  for (std::size_t i = 0; i < value.size();) {
    if (value[i] == '{' && value.compare(i, variable.size(), variable) == 0) {
      put(piece);
      i += variable.size();
      continue;
    }
    const std::size_t n = GbkUnitLength(value, i);
    put(value.substr(i, n));
    i += n;
  }
  length = GbkCutLength(std::string_view(out, length), kValueLimit);
  out[length] = '\0';
  return length;
}

}  // namespace

int RenderValues(const MessRecord& record, const MessModel& model, std::vector<MessValue>& out) {
  std::string_view pieces[kMostVariables];
  const int count = SplitPieces(FieldText(record.param), pieces);
  if (count < TypeMinPieces(record.type)) return -1;
  const bool known = record.type >= 0 && record.type < kMessTypeCount;

  const std::size_t first = out.size();
  for (const MessModelParam& param : model.params) {
    MessValue& v = out.emplace_back();
    CopyField(v.name, FieldText(param.name));
    std::string_view text = FieldText(param.text);
    char scratch[2][kScratchSize];  // text may point here until it is copied
    if (known && text.find('{') != std::string_view::npos &&
        text.find('}') != std::string_view::npos) {
      int next = 0;
      const VariableList& list = kVariables[record.type];
      for (int i = 0; i < list.count; ++i) {
        if (text.find(list.names[i]) == std::string_view::npos) continue;
        const std::size_t n = ReplaceVariable(text, list.names[i], pieces[i], scratch[next]);
        text = std::string_view(scratch[next], n);
        next ^= 1;
      }
    }
    CopyField(v.value, text);
  }
  return static_cast<int>(out.size() - first);
}
