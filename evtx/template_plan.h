#pragma once
// What each element and attribute of an event means to the classic record
// (its role), where a text or value goes (its slot), and the plan of a
// template: worked out once, it leaves only the steps that put texts and
// values where they go. Templates with user data, nested binary XML or
// templates of their own have no plan and are walked token by token.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "evtx/binxml.h"

namespace kestrel::evtx {

enum class Slot : std::uint8_t {
    None,
    EventId,
    Qualifiers,
    Level,
    Task,
    Keywords,
    SystemTime,  // numbers
    ProviderName,
    SourceName,
    Computer,
    Data,
    Binary,
    Leaf,  // texts
};
inline constexpr int kNumberSlots = 7;

enum class Role : std::uint8_t {
    Root,
    Ignore,
    Event,
    System,
    Provider,
    EventID,
    Level,
    Task,
    Keywords,
    TimeCreated,
    Computer,
    EventData,
    DataItem,
    BinaryItem,
    UserData,
    UserInner,
};
inline constexpr std::size_t kRoleCount = 16;

// Templates nest in values and values in templates; a damaged file could
// make that circular, so nesting stops here.
inline constexpr int kMaxNesting = 12;
inline constexpr std::size_t kMaxElementDepth = 48;

Role RoleOf(Role parent, Name name);
Slot AttributeSlotFor(Role role, Name name);
Slot ContentSlotFor(Role role, bool hadChild);

enum class Step : std::uint8_t { Begin, End, Text, Char, Subst, DataItem };

struct PlanStep : Operands {  // Text and Char: as their token; Subst and DataItem: the value's index
    Step step = Step::Begin;
    Slot slot = Slot::None;
    bool optional = false;
    bool attribute = false;
    Role role = Role::Root;  // Subst: the element it stands in, for nested binary XML

    static PlanStep Of(Step step) {
        PlanStep planned;
        planned.step = step;
        return planned;
    }
    // A text or character token's content, into `slot`.
    static PlanStep Content(const Token& token, Slot slot) {
        PlanStep planned = Of(token.op == Op::Text ? Step::Text : Step::Char);
        static_cast<Operands&>(planned) = token;
        planned.slot = slot;
        return planned;
    }
    static PlanStep Subst(const Token& token, Slot slot, bool attribute, Role role) {
        PlanStep planned = Of(Step::Subst);
        planned.first = token.ValueIndex();
        planned.slot = slot;
        planned.optional = token.optional;
        planned.attribute = attribute;
        planned.role = role;
        return planned;
    }
    // <Data>value</Data>: Begin, Subst, End folded into one.
    static PlanStep DataItem(const PlanStep& subst) {
        PlanStep planned = Of(Step::DataItem);
        planned.first = subst.ValueIndex();
        planned.slot = Slot::Data;
        planned.optional = subst.optional;
        planned.role = Role::DataItem;
        return planned;
    }
};

// Plans are walked once per record: the struct stays this small.
static_assert(sizeof(PlanStep) <= 16);

struct Template {
    bool ready = false;            // false while being parsed, and for good when damaged
    std::uint64_t generation = 0;  // the chunk it was parsed for
    std::vector<Token> tokens;
    // One plan for each role of the element the template is used in.
    std::array<std::int8_t, kRoleCount> planned{};  // 0 not yet made, 1 made, -1 none possible
    std::array<std::vector<PlanStep>, kRoleCount> plans;

    // The plan for use inside an element of `context`; null when the
    // template must be walked token by token there.
    const std::vector<PlanStep>* PlanFor(Role context);

    // Forgets the parse but keeps the room, for the next chunk's template.
    void Clear();
};

// False when the tokens cannot be planned for that context.
bool MakePlan(const std::vector<Token>& tokens, Role context, std::vector<PlanStep>& plan);

}  // namespace kestrel::evtx
