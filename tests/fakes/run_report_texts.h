#pragma once
// The report of a run over localhost, PC02 and SV01 in which PC02's log
// cannot be opened (error 1722): up to the failure, and after it. The run
// with stand-ins and the run in the window give the same bytes.
#include <string>

namespace kestrel::testing {

inline const std::string kReportUpToFailure =
    "確認:ｲﾍﾞﾝﾄﾛｸﾞの取得を開始します。\r\n"
    "確認:(localhost)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
    "確認:(localhost)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。\r\n"
    "確認:(PC02)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
    "ｴﾗｰ 002:[\\\\PC02][security]:ｲﾍﾞﾝﾄのｵｰﾌﾟﾝに失敗しました。\r\n"
    "原因 003:text of 1722\r\n"
    "失敗:(PC02)ｾｷｭﾘﾃｨﾛｸﾞの取得に失敗しました。\r\n";
inline const std::string kReportAfterFailure =
    "確認:(SV01)ｾｷｭﾘﾃｨﾛｸﾞの取得を開始します。\r\n"
    "確認:(SV01)ｾｷｭﾘﾃｨｲﾍﾞﾝﾄﾛｸﾞの取得を終了しました。\r\n";

}  // namespace kestrel::testing
