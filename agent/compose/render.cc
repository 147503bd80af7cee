#include "agent/compose/render.h"

#include <cstring>
#include <string_view>

#include "agent/compose/compose_text.h"
#include "agent/compose/mess_types.h"

namespace {

using compose_text::GbkCutLength;
using compose_text::GbkUnitLength;

// The variables of each type in value-list order: the n-th variable stands
// for the n-th piece. GBK texts, matched byte for byte.
// type 0
constexpr std::string_view kVars0[] = {
    "{\xD4\xCB\xB5\xA5\xBA\xC5}",  // {运单号}
    "{\xCA\xD5\xBC\xFE\xC8\xD5\xC6\xDA}",  // {收件日期}
    "{\xB7\xA2\xBC\xFE\xC8\xD5\xC6\xDA}",  // {发件日期}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xC2\xBC\xB5\xA5\xCA\xB1\xBC\xE4}",  // {录单时间}
    "{\xB3\xF6\xB7\xA2\xB5\xD8}",  // {出发地}
};
// type 1
constexpr std::string_view kVars1[] = {
    "{\xD4\xCB\xB5\xA5\xBA\xC5}",  // {运单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xBC\xFE\xCA\xFD}",  // {件数}
    "{\xB7\xA2\xBC\xFE\xC8\xD5\xC6\xDA}",  // {发件日期}
    "{\xB7\xA2\xBC\xFE\xC8\xCB}",  // {发件人}
    "{\xB7\xA2\xBC\xFE\xC8\xCB\xB5\xE7\xBB\xB0}",  // {发件人电话}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCE\xEF\xC6\xB7\xC3\xFB\xB3\xC6}",  // {物品名称}
    "{\xCE\xEF\xC6\xB7\xCA\xFD\xC1\xBF}",  // {物品数量}
    "{\xCD\xD0\xD4\xCB\xB1\xB8\xD7\xA2}",  // {托运备注}
    "{\xB5\xBD\xB8\xB6\xD4\xCB\xB7\xD1}",  // {到付运费}
    "{\xB4\xFA\xCA\xD5\xBB\xF5\xBF\xEE}",  // {代收货款}
    "{\xD4\xA4\xBC\xC6\xCC\xEC\xCA\xFD}",  // {预计天数}
    "{\xB9\xAB\xCB\xBE\xCD\xF8\xD6\xB7}",  // {公司网址}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xC5\xC9\xBC\xFE\xC8\xCB}",  // {派件人}
    "{\xC5\xC9\xBC\xFE\xC8\xCB\xB5\xE7\xBB\xB0}",  // {派件人电话}
    "{\xB3\xF6\xB7\xA2\xB5\xD8}",  // {出发地}
};
// type 2
constexpr std::string_view kVars2[] = {
    "{\xD4\xCB\xB5\xA5\xBA\xC5}",  // {运单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xCA\xD5\xBC\xFE\xC8\xD5\xC6\xDA}",  // {收件日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xC7\xA9\xCA\xD5\xC8\xD5\xC6\xDA}",  // {签收日期}
    "{\xC7\xA9\xCA\xD5\xCA\xB1\xBC\xE4}",  // {签收时间}
    "{\xC7\xA9\xCA\xD5\xC8\xCB}",  // {签收人}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xB3\xF6\xB7\xA2\xB5\xD8}",  // {出发地}
};
// type 3
constexpr std::string_view kVars3[] = {
    "{\xD4\xCB\xB5\xA5\xBA\xC5}",  // {运单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xCA\xD5\xBC\xFE\xC8\xD5\xC6\xDA}",  // {收件日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xD7\xB4\xCC\xAC}",  // {状态}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xB3\xF6\xB7\xA2\xB5\xD8}",  // {出发地}
};
// type 4
constexpr std::string_view kVars4[] = {
    "{\xB7\xA2\xC6\xB1\xBA\xC5}",  // {发票号}
    "{\xBC\xC7\xC2\xBCID}",  // {记录ID}
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xBD\xF0\xB6\xEE}",  // {金额}
    "{\xBD\xE1\xCB\xE3\xD3\xE0\xB6\xEE}",  // {结算余额}
    "{\xD7\xDC\xBC\xC6\xD3\xE0\xB6\xEE}",  // {总计余额}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 5
constexpr std::string_view kVars5[] = {
    "{\xD4\xCB\xB5\xA5\xBA\xC5}",  // {运单号}
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xBD\xF0\xB6\xEE}",  // {金额}
    "{\xBD\xE1\xCB\xE3\xD3\xE0\xB6\xEE}",  // {结算余额}
    "{\xD7\xDC\xBC\xC6\xD3\xE0\xB6\xEE}",  // {总计余额}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// types 6 and 20
constexpr std::string_view kVars6[] = {
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xCA\xB1\xBC\xE4}",  // {时间}
    "{\xBD\xE1\xCB\xE3\xD3\xE0\xB6\xEE}",  // {结算余额}
    "{\xD7\xDC\xBC\xC6\xD3\xE0\xB6\xEE}",  // {总计余额}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 7
constexpr std::string_view kVars7[] = {
    "{\xD4\xCB\xB5\xA5\xBA\xC5}",  // {运单号}
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xCA\xB1\xBC\xE4}",  // {时间}
    "{\xD6\xD8\xC1\xBF}",  // {重量}
    "{\xBC\xFE\xCA\xFD}",  // {件数}
    "{\xC0\xB4\xD7\xD4\xCD\xF8\xC2\xE7}",  // {来自网络}
    "{\xB1\xEA\xC7\xA9}",  // {标签}
    "{\xB4\xAB\xBD\xD3\xD5\xBE\xB5\xE3}",  // {传接站点}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 8
constexpr std::string_view kVars8[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}",  // {业务日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xB1\xEA\xC7\xA9}",  // {标签}
    "{\xC1\xF4\xD3\xC3\xB4\xAE}",  // {留用串}
    "{\xB1\xB8\xD3\xC3" "4}",  // {备用4}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 9
constexpr std::string_view kVars9[] = {
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xC3\xE8\xCA\xF6}",  // {描述}
    "{\xD7\xB4\xCC\xAC}",  // {状态}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 10
constexpr std::string_view kVars10[] = {
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{OpenID}",  // {OpenID}
    "{\xC3\xDC\xC2\xEB}",  // {密码}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 11
constexpr std::string_view kVars11[] = {
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xC3\xE8\xCA\xF6}",  // {描述}
    "{\xD7\xB4\xCC\xAC}",  // {状态}
    "{\xD3\xC3\xBB\xA7\xD5\xCA\xBA\xC5}",  // {用户帐号}
    "{\xD3\xC3\xBB\xA7\xC3\xFB\xB3\xC6}",  // {用户名称}
};
// type 12
constexpr std::string_view kVars12[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}",  // {业务日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xBF\xEC\xB5\xDD\xC0\xE0\xB1\xF0}",  // {快递类别}
    "{\xB9\xD8\xC1\xAA\xD7\xB7\xD7\xD9\xCD\xF8\xC2\xE7}",  // {关联追踪网络}
    "{\xC9\xCF\xCD\xF8\xCA\xB1\xBC\xE4}",  // {上网时间}
    "{\xB3\xF6\xB7\xA2\xB5\xD8}",  // {出发地}
};
// type 13
constexpr std::string_view kVars13[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xC8\xD5\xC6\xDA\xCA\xB1\xBC\xE4}",  // {日期时间}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xCA\xD5\xBC\xFE\xB5\xD8\xD6\xB7}",  // {收件地址}
    "{\xCA\xD5\xBC\xFE\xB5\xE7\xBB\xB0}",  // {收件电话}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xBF\xEC\xB5\xDD\xC0\xE0\xB1\xF0}",  // {快递类别}
    "{\xB1\xEA\xC7\xA9}",  // {标签}
};
// type 14
constexpr std::string_view kVars14[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}",  // {业务日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xB1\xEA\xC7\xA9}",  // {标签}
    "{\xC1\xF4\xD3\xC3\xB4\xAE}",  // {留用串}
    "{\xB1\xB8\xD3\xC3" "4}",  // {备用4}
};
// type 15
constexpr std::string_view kVars15[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xB7\xA2\xBC\xFE\xC8\xCB}",  // {发件人}
    "{\xB7\xA2\xBC\xFE\xB5\xD8\xD6\xB7}",  // {发件地址}
    "{\xB7\xA2\xBC\xFE\xB5\xE7\xBB\xB0}",  // {发件电话}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xCA\xD5\xBC\xFE\xB5\xD8\xD6\xB7}",  // {收件地址}
    "{\xCA\xD5\xBC\xFE\xB5\xE7\xBB\xB0}",  // {收件电话}
    "{\xB5\xF7\xB6\xC8\xD5\xDF}",  // {调度者}
    "{\xB5\xF7\xB6\xC8\xCA\xB1\xBC\xE4}",  // {调度时间}
    "{\xB5\xF7\xB6\xC8\xB1\xB8\xD7\xA2}",  // {调度备注}
    "{\xC8\xA1\xBC\xFE\xC8\xCB}",  // {取件人}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 16
constexpr std::string_view kVars16[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xB7\xA2\xBC\xFE\xC8\xCB}",  // {发件人}
    "{\xB7\xA2\xBC\xFE\xB5\xD8\xD6\xB7}",  // {发件地址}
    "{\xB7\xA2\xBC\xFE\xB5\xE7\xBB\xB0}",  // {发件电话}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xCA\xD5\xBC\xFE\xB5\xD8\xD6\xB7}",  // {收件地址}
    "{\xCA\xD5\xBC\xFE\xB5\xE7\xBB\xB0}",  // {收件电话}
    "{\xC5\xC9\xBC\xFE\xC8\xCB}",  // {派件人}
    "{\xB5\xF7\xB6\xC8\xCA\xB1\xBC\xE4}",  // {调度时间}
    "{\xC5\xC9\xBC\xFE\xC8\xCB\xCA\xD6\xBB\xFA}",  // {派件人手机}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
    "{\xB3\xF6\xB7\xA2\xB5\xD8}",  // {出发地}
};
// type 17
constexpr std::string_view kVars17[] = {
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{OpenID}",  // {OpenID}
    "{\xEA\xC7\xB3\xC6}",  // {昵称}
    "{\xB5\xE7\xBB\xB0}",  // {电话}
};
// type 18
constexpr std::string_view kVars18[] = {
    "{\xC8\xD5\xC6\xDA}",  // {日期}
    "{\xCA\xB1\xBC\xE4}",  // {时间}
    "{\xD7\xDC\xB0\xFC\xCA\xFD}",  // {总包数}
    "{\xD7\xDC\xB7\xD1\xD3\xC3}",  // {总费用}
    "{\xBD\xA8\xD2\xE9\xB3\xE4\xD6\xB5\xB6\xEE}",  // {建议充值额}
    "{\xBD\xE1\xCB\xE3\xD3\xE0\xB6\xEE}",  // {结算余额}
    "{\xD7\xDC\xBC\xC6\xD3\xE0\xB6\xEE}",  // {总计余额}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 19
constexpr std::string_view kVars19[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xC8\xD5\xC6\xDA\xCA\xB1\xBC\xE4}",  // {日期时间}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xD4\xAD\xD6\xD8}",  // {原重}
    "{\xD6\xD8\xC1\xBF}",  // {重量}
    "{\xD4\xCB\xB7\xD1}",  // {运费}
    "{\xBD\xE1\xCB\xE3\xD3\xE0\xB6\xEE}",  // {结算余额}
    "{\xD7\xDC\xBC\xC6\xD3\xE0\xB6\xEE}",  // {总计余额}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 21
constexpr std::string_view kVars21[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xC8\xD5\xC6\xDA\xCA\xB1\xBC\xE4}",  // {日期时间}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xBF\xEC\xB5\xDD\xC0\xE0\xB1\xF0}",  // {快递类别}
    "{\xB1\xEA\xC7\xA9}",  // {标签}
    "{\xD3\xC3\xBB\xA7\xD0\xD5\xC3\xFB}",  // {用户姓名}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 22
constexpr std::string_view kVars22[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}",  // {业务日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xB2\xD9\xD7\xF7\xD5\xDF}",  // {操作者}
    "{\xB2\xD9\xD7\xF7\xB5\xD8\xB5\xE3}",  // {操作地点}
    "{\xB2\xD9\xD7\xF7\xC3\xE8\xCA\xF6}",  // {操作描述}
    "{\xB2\xD9\xD7\xF7\xCA\xB1\xBC\xE4}",  // {操作时间}
    "{\xB2\xD9\xD7\xF7\xD5\xBE\xB5\xE3}",  // {操作站点}
    "{\xCF\xC2\xD2\xBB\xD5\xBE\xB5\xE3}",  // {下一站点}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 23
constexpr std::string_view kVars23[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}",  // {业务日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xB2\xD9\xD7\xF7\xD5\xDF}",  // {操作者}
    "{\xB2\xD9\xD7\xF7\xB5\xD8\xB5\xE3}",  // {操作地点}
    "{\xB2\xD9\xD7\xF7\xC3\xE8\xCA\xF6}",  // {操作描述}
    "{\xB2\xD9\xD7\xF7\xCA\xB1\xBC\xE4}",  // {操作时间}
    "{\xB2\xD9\xD7\xF7\xD5\xBE\xB5\xE3}",  // {操作站点}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
};
// type 24
constexpr std::string_view kVars24[] = {
    "{\xC4\xDA\xB5\xA5\xBA\xC5}",  // {内单号}
    "{\xD7\xAA\xB5\xA5\xBA\xC5}",  // {转单号}
    "{\xD2\xB5\xCE\xF1\xC8\xD5\xC6\xDA}",  // {业务日期}
    "{\xC4\xBF\xB5\xC4\xB5\xD8}",  // {目的地}
    "{\xCA\xD5\xBC\xFE\xC8\xCB}",  // {收件人}
    "{\xB2\xD9\xD7\xF7\xD5\xDF}",  // {操作者}
    "{\xB2\xD9\xD7\xF7\xB5\xD8\xB5\xE3}",  // {操作地点}
    "{\xB2\xD9\xD7\xF7\xC3\xE8\xCA\xF6}",  // {操作描述}
    "{\xB2\xD9\xD7\xF7\xCA\xB1\xBC\xE4}",  // {操作时间}
    "{\xB2\xD9\xD7\xF7\xD5\xBE\xB5\xE3}",  // {操作站点}
    "{\xC5\xC9\xBC\xFE\xD4\xB1}",  // {派件员}
    "{\xC1\xAA\xCF\xB5\xB7\xBD\xCA\xBD}",  // {联系方式}
    "{\xBF\xCD\xBB\xA7\xD5\xCA\xBA\xC5}",  // {客户帐号}
    "{\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}",  // {客户名称}
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
