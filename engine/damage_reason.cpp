#include "engine/damage_reason.h"

namespace kestrel {

const char* DamageReasonText(evtx::Reason reason) {
    using evtx::Reason;
    switch (reason) {
        case Reason::None:
            break;
        case Reason::Truncated:
            return "ﾃﾞｰﾀが途中で切れています";
        case Reason::NotAnEventLog:
            return "ｲﾍﾞﾝﾄﾛｸﾞではありません";
        case Reason::ChunkUnreadable:
            return "ﾁｬﾝｸを読み込めません";
        case Reason::ChunkHeaderDamaged:
            return "ﾁｬﾝｸﾍｯﾀﾞが壊れています";
        case Reason::RecordDamaged:
            return "ﾚｺｰﾄﾞが壊れています";
        case Reason::BadToken:
            return "ﾊﾞｲﾅﾘXMLのﾄｰｸﾝが不正です";
        case Reason::BadName:
            return "名前がﾁｬﾝｸの外にあります";
        case Reason::BadTemplate:
            return "ﾃﾝﾌﾟﾚｰﾄが壊れています";
        case Reason::TooDeep:
            return "入れ子が深すぎます";
        case Reason::TooMuchWork:
            return "ﾚｺｰﾄﾞが大きすぎます";
    }
    return "原因不明";
}

}  // namespace kestrel
