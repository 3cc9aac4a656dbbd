#include "platform/component.h"

#include "platform/exception.h"

#include <climits>

namespace {
[[noreturn]] void WrongKind(const TLayoutValue& value, const char* wanted) {
    throw Exception("Layout line " + std::to_string(value.line) + ": " + wanted + " expected");
}
}  // namespace

int TLayoutValue::AsInt() const {
    if (kind != Kind::Integer || integer < INT_MIN || integer > INT_MAX) WrongKind(*this, "an integer");
    return static_cast<int>(integer);
}

const std::string& TLayoutValue::AsString() const {
    if (kind != Kind::String) WrongKind(*this, "a quoted string");
    return text;
}

const std::string& TLayoutValue::AsIdent() const {
    if (kind != Kind::Identifier) WrongKind(*this, "an identifier");
    return text;
}

bool TLayoutValue::AsBool() const {
    if (kind == Kind::Identifier && text == "True") return true;
    if (kind == Kind::Identifier && text == "False") return false;
    WrongKind(*this, "True or False");
}

const std::vector<std::string>& TLayoutValue::AsSet() const {
    if (kind != Kind::Set) WrongKind(*this, "a [set]");
    return items;
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {}

// Owned components go in reverse creation order, before this component's own members.
TComponent::~TComponent() { DestroyComponents(); }

void TComponent::DestroyComponents() {
    while (!components_.empty()) components_.pop_back();
}

TComponent* TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
    components_.push_back(std::move(component));
    return components_.back().get();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (const auto& c : components_)
        if (c->Name() == name) return c.get();
    return nullptr;
}

bool TComponent::SetLayoutProperty(const std::string&, const TLayoutValue&, TForm&) { return false; }
