#include "evtx/template_plan.h"

namespace kestrel::evtx {

Role RoleOf(Role parent, Name name) {
    switch (parent) {
        case Role::Root:
            return name == Name::Event ? Role::Event : Role::Ignore;
        case Role::Event:
            return name == Name::System      ? Role::System
                   : name == Name::EventData ? Role::EventData
                   : name == Name::UserData  ? Role::UserData
                                             : Role::Ignore;
        case Role::System:
            switch (name) {
                case Name::Provider:
                    return Role::Provider;
                case Name::EventID:
                    return Role::EventID;
                case Name::Level:
                    return Role::Level;
                case Name::Task:
                    return Role::Task;
                case Name::Keywords:
                    return Role::Keywords;
                case Name::TimeCreated:
                    return Role::TimeCreated;
                case Name::Computer:
                    return Role::Computer;
                default:
                    return Role::Ignore;
            }
        case Role::EventData:
            return name == Name::Data     ? Role::DataItem
                   : name == Name::Binary ? Role::BinaryItem
                                          : Role::Ignore;
        case Role::UserData:
        case Role::UserInner:
            return Role::UserInner;
        default:
            return Role::Ignore;
    }
}

Slot AttributeSlotFor(Role role, Name name) {
    switch (role) {
        case Role::Provider:
            return name == Name::NameAttr          ? Slot::ProviderName
                   : name == Name::EventSourceName ? Slot::SourceName
                                                   : Slot::None;
        case Role::EventID:
            return name == Name::Qualifiers ? Slot::Qualifiers : Slot::None;
        case Role::TimeCreated:
            return name == Name::SystemTime ? Slot::SystemTime : Slot::None;
        case Role::UserInner:
            return name == Name::Xmlns ? Slot::None : Slot::Leaf;
        default:
            return Slot::None;
    }
}

Slot ContentSlotFor(Role role, bool hadChild) {
    switch (role) {
        case Role::EventID:
            return Slot::EventId;
        case Role::Level:
            return Slot::Level;
        case Role::Task:
            return Slot::Task;
        case Role::Keywords:
            return Slot::Keywords;
        case Role::Computer:
            return Slot::Computer;
        case Role::DataItem:
            return Slot::Data;
        case Role::BinaryItem:
            return Slot::Binary;
        case Role::UserInner:
            return hadChild ? Slot::None : Slot::Leaf;
        default:
            return Slot::None;
    }
}

const std::vector<PlanStep>* Template::PlanFor(Role context) {
    const auto at = static_cast<std::size_t>(context);
    if (planned[at] == 0) planned[at] = MakePlan(tokens, context, plans[at]) ? 1 : -1;
    return planned[at] > 0 ? &plans[at] : nullptr;
}

void Template::Clear() {
    ready = false;
    tokens.clear();
    planned.fill(0);
    for (std::vector<PlanStep>& plan : plans) plan.clear();
}

namespace {

// <Data>value</Data>, the common case, in one step (folded in place).
void FoldDataItems(std::vector<PlanStep>& plan) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (i + 2 < plan.size() && plan[i].step == Step::Begin && plan[i + 1].step == Step::Subst &&
            plan[i + 2].step == Step::End) {
            plan[out++] = PlanStep::DataItem(plan[i + 1]);
            i += 2;
        } else {
            plan[out++] = plan[i];
        }
    }
    plan.resize(out);
}

}  // namespace

bool MakePlan(const std::vector<Token>& tokens, Role context, std::vector<PlanStep>& plan) {
    // User data and the insides of values need the element stack as it is met.
    if (context != Role::Root && context != Role::Event && context != Role::System &&
        context != Role::EventData && context != Role::Ignore) {
        return false;
    }
    std::array<Role, kMaxElementDepth> stack{};
    std::size_t depth = 0;
    bool inAttribute = false;
    Slot attributeSlot = Slot::None;
    for (const Token& token : tokens) {
        const Role top = depth > 0 ? stack[depth - 1] : context;
        const Slot slot = inAttribute ? attributeSlot : ContentSlotFor(top, false);
        switch (token.op) {
            case Op::Open: {
                inAttribute = false;
                const Role role = RoleOf(top, token.name);
                if (depth == kMaxElementDepth || role == Role::UserData || role == Role::UserInner)
                    return false;
                stack[depth++] = role;
                if (role == Role::DataItem) plan.push_back(PlanStep::Of(Step::Begin));
                break;
            }
            case Op::Attribute:
                inAttribute = true;
                attributeSlot = AttributeSlotFor(top, token.name);
                break;
            case Op::StartDone:
                inAttribute = false;
                break;
            case Op::EmptyDone:
            case Op::End:
                inAttribute = false;
                if (depth == 0) return false;
                if (stack[--depth] == Role::DataItem) plan.push_back(PlanStep::Of(Step::End));
                break;
            case Op::Text:
            case Op::Char:
                if (slot != Slot::None && slot != Slot::Binary)
                    plan.push_back(PlanStep::Content(token, slot));
                break;
            case Op::Subst:
                // Kept even where nothing is collected: the value may be a
                // fragment of binary XML with elements that matter.
                plan.push_back(PlanStep::Subst(token, slot, inAttribute, top));
                break;
            case Op::Instance:
                return false;
        }
    }
    if (depth != 0) return false;
    FoldDataItems(plan);
    return true;
}

}  // namespace kestrel::evtx
