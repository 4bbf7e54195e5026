#include "suite/lingua/catalog.h"

#include "suite/lingua/language.h"

namespace tarn::suite {
namespace {

// Places are numbered as the callers fill them. The task-conflict messages
// get the running task first and the refused function last: with five
// arguments 1 station, 2 running id, 3 its name, 4 requested id, 5 its
// name; with six, the running task's subsystem comes in as 2. A running
// task's name may be empty, so the id always stands beside it in brackets.
constexpr CatalogEntry kEntries[] = {
    // Sign-on and the link to the application server.
    {"Tarn.AA.TarnLogin.ErrorConnectApp",
     "The connection to the application server has been lost. Check that the server is running and that this "
     "workstation can reach it; if the problem persists, sign on again.",
     "与应用服务器的连接已中断。请检查服务器是否正在运行、本工作站能否访问该服务器；如果问题仍然存在，请重新登录。",
     "與應用伺服器的連線已中斷。請檢查伺服器是否正在執行、本工作站能否存取該伺服器；如果問題仍然存在，請重新登入。"},
    {"Tarn.AA.TarnLogin.FailCallLogin",
     "The management service on {1} did not confirm this workstation's sign-on. Check that the service is running "
     "and can be reached, then sign on again.",
     "{1} 上的管理服务未确认本工作站的登录。请检查该服务是否正在运行且可以访问，然后重新登录。",
     "{1} 上的管理服務未確認本工作站的登入。請檢查該服務是否正在執行且可以存取，然後重新登入。"},
    {"Tarn.AA.TarnLogin1.FailCallLogin2",
     "Cannot connect to the application server {1}. Check the server name, that the server is running and that "
     "the network is available, then sign on again.",
     "无法连接应用服务器 {1}。请检查服务器名称、服务器是否正在运行以及网络是否通畅，然后重新登录。",
     "無法連線應用伺服器 {1}。請檢查伺服器名稱、伺服器是否正在執行以及網路是否暢通，然後重新登入。"},
    {"Tarn.AA.TarnLogin.InvalidateSubID",
     "The subsystem code is not valid: it must have exactly two characters, such as GL or AS.",
     "子系统代码无效：必须正好是两个字符，例如 GL 或 AS。", "子系統代碼無效：必須剛好是兩個字元，例如 GL 或 AS。"},
    {"Tarn.AA.TarnLogin.InvalidateToken",
     "The sign-on information is incomplete: it holds no connection to the account database. Please sign on again.",
     "登录信息不完整：缺少账套数据库的连接信息。请重新登录。",
     "登入資訊不完整：缺少帳套資料庫的連線資訊。請重新登入。"},
    {"Tarn.AA.TarnLogin.NotCompleteLogin", "Sign-on is incomplete: please enter both the account set and the user.",
     "登录信息不完整：请同时输入账套和用户。", "登入資訊不完整：請同時輸入帳套和使用者。"},
    {"Tarn.AA.TarnLogin.NotCompleteLogin2", "You are not signed on. Please sign on before opening this function.",
     "您尚未登录。请先登录，再打开该功能。", "您尚未登入。請先登入，再開啟該功能。"},
    // Followed directly by the description of the database error.
    {"Tarn.AA.TarnLogin.UnknownLoginError", "Sign-on could not be completed because of an unexpected error: ",
     "由于发生意外错误，登录未能完成：", "由於發生意外錯誤，登入未能完成："},

    // Registering and releasing function tasks.
    {"Tarn.AA.TarnLogin.NotExistAuthID",
     "Function {1} is not defined in the system. Check the function code, or ask your system administrator to "
     "register it.",
     "系统中不存在功能 {1}。请检查功能代码，或联系系统管理员进行注册。",
     "系統中不存在功能 {1}。請檢查功能代碼，或聯絡系統管理員進行註冊。"},
    {"Tarn.AA.TarnLogin.NotHoldAuth",
     "You do not have the right to use this function in the current account set and year. Ask your system "
     "administrator to grant it.",
     "您在当前账套和年度中没有使用该功能的权限。请联系系统管理员授权。",
     "您在目前帳套和年度中沒有使用該功能的權限。請聯絡系統管理員授權。"},
    {"Tarn.AA.TarnLogin.ExceptionAuthID",
     "The mutual-exclusion settings of function {1} are not valid, so it cannot be started. Ask your system "
     "administrator to check the function's control settings.",
     "功能 {1} 的互斥设置无效，无法启动。请联系系统管理员检查该功能的控制设置。",
     "功能 {1} 的互斥設定無效，無法啟動。請聯絡系統管理員檢查該功能的控制設定。"},
    {"Tarn.AA.TarnLogin.ErrorWriteTask",
     "The function could not be registered as a task because its log number is already in use. Please open the "
     "function again.",
     "无法登记该功能的任务：日志号已被占用。请重新打开该功能。",
     "無法登記該功能的任務：日誌號已被佔用。請重新開啟該功能。"},
    // This and FailReleaseTask are followed by a line with the error's
    // description.
    {"Tarn.AA.TarnLogin.ExceptTaskExec",
     "The function could not be registered as a task because of a database error. Please try again; if the "
     "problem persists, give the details below to your system administrator.",
     "由于数据库错误，无法登记该功能的任务。请重试；如果问题仍然存在，请将以下详细信息提供给系统管理员。",
     "由於資料庫錯誤，無法登記該功能的任務。請重試；如果問題仍然存在，請將以下詳細資訊提供給系統管理員。"},
    {"Tarn.AA.TarnLogin.FailReleaseTask",
     "The function's task could not be released. Please close the function again; if the problem persists, give "
     "the details below to your system administrator.",
     "无法释放该功能的任务。请再次关闭该功能；如果问题仍然存在，请将以下详细信息提供给系统管理员。",
     "無法釋放該功能的任務。請再次關閉該功能；如果問題仍然存在，請將以下詳細資訊提供給系統管理員。"},
    {"Tarn.AA.TarnLogin.ExceptionReleaseTask",
     "The function's task could not be released because the database is busy. Please close the function again "
     "in a moment.",
     "数据库繁忙，无法释放该功能的任务。请稍后再次关闭该功能。",
     "資料庫忙碌，無法釋放該功能的任務。請稍後再次關閉該功能。"},
    {"Tarn.AA.TarnLogin.TaskRepellent",
     "Function {1} could not be started because other users' tasks were being changed at the same moment. Please "
     "try again in a moment.",
     "其他用户的任务正在同时变更，功能 {1} 无法启动。请稍后重试。",
     "其他使用者的任務正在同時變更，功能 {1} 無法啟動。請稍後重試。"},
    {"Tarn.AA.TarnLogin.TaskRepellent2",
     "Function [{4}] {5} cannot be started: workstation {1} is running [{2}] {3}, which needs the account set to "
     "itself. Try again when it has finished.",
     "无法启动功能[{4}]{5}：工作站 {1} 正在运行[{2}]{3}，该功能需要独占本账套。请在其结束后重试。",
     "無法啟動功能[{4}]{5}：工作站 {1} 正在執行[{2}]{3}，該功能需要獨佔本帳套。請在其結束後重試。"},
    {"Tarn.AA.TarnLogin.TaskRepellent2Year",
     "Function [{4}] {5} cannot be started: workstation {1} is running [{2}] {3}, which needs this fiscal year of "
     "the account set to itself. Try again when it has finished, or work in another year.",
     "无法启动功能[{4}]{5}：工作站 {1} "
     "正在运行[{2}]{3}，该功能需要独占本账套的本会计年度。请在其结束后重试，或在其他年度中工作。",
     "無法啟動功能[{4}]{5}：工作站 {1} "
     "正在執行[{2}]{3}，該功能需要獨佔本帳套的本會計年度。請在其結束後重試，或在其他年度中工作。"},
    {"Tarn.AA.TarnLogin.TaskRepellent3",
     "Function [{5}] {6} needs the account set to itself, but workstation {1} is working in it ({2}: [{3}] {4}). "
     "Try again when the other work has been closed.",
     "功能[{5}]{6}需要独占本账套，但工作站 {1} 正在使用该账套（{2}：[{3}]{4}）。请在其他工作关闭后重试。",
     "功能[{5}]{6}需要獨佔本帳套，但工作站 {1} 正在使用該帳套（{2}：[{3}]{4}）。請在其他工作關閉後重試。"},
    {"Tarn.AA.TarnLogin1.TaskRepellent4",
     "Function [{5}] {6} needs this fiscal year to itself, but workstation {1} is working in it ({2}: [{3}] {4}). "
     "Try again when the other work has been closed.",
     "功能[{5}]{6}需要独占本会计年度，但工作站 {1} 正在使用该年度（{2}：[{3}]{4}）。请在其他工作关闭后重试。",
     "功能[{5}]{6}需要獨佔本會計年度，但工作站 {1} 正在使用該年度（{2}：[{3}]{4}）。請在其他工作關閉後重試。"},
    {"Tarn.AA.TarnLogin.TaskRepellent5",
     "Function [{4}] {5} cannot run at the same time as [{2}] {3}, which workstation {1} is running. Try again "
     "when it has finished.",
     "功能[{4}]{5}不能与工作站 {1} 正在运行的[{2}]{3}同时运行。请在其结束后重试。",
     "功能[{4}]{5}不能與工作站 {1} 正在執行的[{2}]{3}同時執行。請在其結束後重試。"},
    {"Tarn.AA.TarnLogin1.TaskRepellent6",
     "Function [{4}] {5} cannot be started: workstation {1} is running [{2}] {3} in the same subsystem, and the "
     "two may not run at the same time. Try again when it has finished.",
     "无法启动功能[{4}]{5}：工作站 {1} 正在同一子系统中运行[{2}]{3}，两者不能同时运行。请在其结束后重试。",
     "無法啟動功能[{4}]{5}：工作站 {1} 正在同一子系統中執行[{2}]{3}，兩者不能同時執行。請在其結束後重試。"},

    // Refusals of the login service.
    {"Tarn.AA.LoginService.UnknownUser", "User {1} does not exist. Check the user id and try again.",
     "用户 {1} 不存在。请检查用户编号后重试。", "使用者 {1} 不存在。請檢查使用者編號後重試。"},
    {"Tarn.AA.LoginService.UserDisabled", "User {1} has been disabled. Contact your system administrator.",
     "用户 {1} 已被停用。请联系系统管理员。", "使用者 {1} 已被停用。請聯絡系統管理員。"},
    {"Tarn.AA.LoginService.BadPassword",
     "The password is incorrect. Check it and try again; passwords are case-sensitive.",
     "密码不正确。请检查后重试（密码区分大小写）。", "密碼不正確。請檢查後重試（密碼區分大小寫）。"},
    {"Tarn.AA.LoginService.UnknownAccount", "Account set {1} does not exist. Choose another account set.",
     "账套 {1} 不存在。请选择其他账套。", "帳套 {1} 不存在。請選擇其他帳套。"},
    {"Tarn.AA.LoginService.UnknownYear",
     "Account set {1} has no fiscal year {2}. Choose a year that has been opened for this account set.",
     "账套 {1} 中不存在 {2} 会计年度。请选择该账套已建立的年度。",
     "帳套 {1} 中不存在 {2} 會計年度。請選擇該帳套已建立的年度。"},
    {"Tarn.AA.LoginService.NoLivePeriod",
     "The operating date {1} does not fall in any accounting period of the chosen year. Choose a date inside the "
     "fiscal year.",
     "操作日期 {1} 不在所选年度的任何会计期间内。请选择会计年度内的日期。",
     "操作日期 {1} 不在所選年度的任何會計期間內。請選擇會計年度內的日期。"},
    {"Tarn.AA.LoginService.NoRight",
     "User {1} has no right to work in account set {2} for year {3}. Ask your system administrator to grant it.",
     "用户 {1} 无权进入账套 {2} 的 {3} 年度。请联系系统管理员授权。",
     "使用者 {1} 無權進入帳套 {2} 的 {3} 年度。請聯絡系統管理員授權。"},
    {"Tarn.AA.LoginService.BadToken", "The sign-on token is not valid. Please sign on again.",
     "登录令牌无效。请重新登录。", "登入權杖無效。請重新登入。"},
    {"Tarn.AA.LoginService.TokenExpired", "The sign-on token has expired. Please sign on again.",
     "登录令牌已过期。请重新登录。", "登入權杖已過期。請重新登入。"},
    {"Tarn.AA.LoginService.UnknownSubsystem",
     "Subsystem {1} is unknown or not enabled. Check the subsystem code, or ask your system administrator to "
     "enable it.",
     "子系统 {1} 不存在或未启用。请检查子系统代码，或联系系统管理员启用。",
     "子系統 {1} 不存在或未啟用。請檢查子系統代碼，或聯絡系統管理員啟用。"},
    {"Tarn.AA.LoginService.BadDate",
     "'{1}' is not a date. Enter the operating date as year-month-day, for example 2024-03-15.",
     "“{1}”不是日期。请按“年-月-日”输入操作日期，例如 2024-03-15。",
     "「{1}」不是日期。請按「年-月-日」輸入操作日期，例如 2024-03-15。"},
    {"Tarn.AA.LoginService.ServiceRefused",
     "The management service refused the sign-on: {1}. Try again when a seat is free, or ask your system "
     "administrator.",
     "管理服务拒绝了本次登录：{1}。请在有空闲站点时重试，或联系系统管理员。",
     "管理服務拒絕了本次登入：{1}。請在有空閒站點時重試，或聯絡系統管理員。"},
    {"Tarn.AA.LoginService.ServiceUnreachable",
     "The management service on {1} cannot be reached ({2}). Check that it is running, then sign on again.",
     "无法访问 {1} 上的管理服务（{2}）。请检查该服务是否正在运行，然后重新登录。",
     "無法存取 {1} 上的管理服務（{2}）。請檢查該服務是否正在執行，然後重新登入。"},
    {"Tarn.AA.LoginService.ServiceFailed",
     "The management service on {1} could not admit the sign-on: {2}. Nothing was kept; try again, or ask your "
     "system administrator.",
     "{1} 上的管理服务无法接受本次登录：{2}。未保留任何内容；请重试，或联系系统管理员。",
     "{1} 上的管理服務無法接受本次登入：{2}。未保留任何內容；請重試，或聯絡系統管理員。"},
    {"Tarn.AA.LoginService.SignOnNotRecorded",
     "The sign-on could not be recorded in the system database ({1}). Nothing was kept; try again, or ask your "
     "system administrator.",
     "无法在系统数据库中记录本次登录（{1}）。未保留任何内容；请重试，或联系系统管理员。",
     "無法在系統資料庫中記錄本次登入（{1}）。未保留任何內容；請重試，或聯絡系統管理員。"},
    {"Tarn.AA.LoginService.TokenRevoked",
     "The sign-on token of user {1} is no longer valid: the user was removed, disabled or given a new password "
     "since it was issued. Please sign on again.",
     "用户 {1} 的登录令牌已失效：该用户在令牌签发后已被删除、停用或更改了密码。请重新登录。",
     "使用者 {1} 的登入權杖已失效：該使用者在權杖簽發後已被刪除、停用或變更了密碼。請重新登入。"},
};

}  // namespace

std::span<const CatalogEntry> DefaultCatalog() { return kEntries; }

std::string_view CatalogText(std::string_view id, std::string_view language) {
  for (const CatalogEntry& entry : kEntries) {
    if (entry.id != id) continue;
    if (language == kSimplifiedChinese) return entry.zh_cn;
    if (language == kTraditionalChinese) return entry.zh_tw;
    return entry.en_us;
  }
  return {};
}

}  // namespace tarn::suite
