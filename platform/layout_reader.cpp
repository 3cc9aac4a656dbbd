#include "platform/layout_reader.h"

#include "platform/exception.h"
#include "platform/form.h"
#include "platform/http_client.h"
#include "platform/image.h"

#include <cctype>
#include <charconv>

namespace {

using Factory = std::unique_ptr<TComponent> (*)(TComponent* owner);

template <class T>
std::unique_ptr<TComponent> Make(TComponent* owner) { return std::make_unique<T>(owner); }

// The component classes a layout may name.
const std::pair<std::string_view, Factory> kClasses[] = {
    {"TLabel", Make<TLabel>}, {"TEdit", Make<TEdit>},     {"TButton", Make<TButton>},
    {"TImage", Make<TImage>}, {"TIdHTTP", Make<TIdHTTP>},
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    void ReadForm(TForm& form) {
        if (!NextLine()) Fail("the layout is empty");
        auto [name, cls] = ObjectHeader();
        form.SetName(name);
        std::vector<TComponent*> created;
        for (;;) {
            if (!NextLine()) Fail("'end' of " + name + " is missing");
            if (line_ == "end") break;
            if (line_.starts_with("object ")) {
                created.push_back(ReadComponent(form));
                continue;
            }
            ApplyProperty(form, form, name, cls);
        }
        while (NextLine())
            Fail("text after the end of the layout");
        for (TComponent* c : created) c->Loaded();
        form.Loaded();
    }

private:
    TComponent* ReadComponent(TForm& form) {
        auto [name, cls] = ObjectHeader();
        Factory factory = nullptr;
        for (const auto& [className, make] : kClasses)
            if (className == cls) factory = make;
        if (!factory) Fail("unknown component class " + cls);
        if (form.FindComponent(name)) Fail("a second component named " + name);
        TComponent* component = form.InsertComponent(factory(&form));
        component->SetName(name);
        for (;;) {
            if (!NextLine()) Fail("'end' of " + name + " is missing");
            if (line_ == "end") return component;
            if (line_.starts_with("object ")) Fail("components inside " + name + " are not supported");
            ApplyProperty(*component, form, name, cls);
        }
    }

    std::pair<std::string, std::string> ObjectHeader() {
        std::string_view rest = line_.substr(7);
        const auto colon = rest.find(':');
        if (!line_.starts_with("object ") || colon == std::string_view::npos)
            Fail("'object Name: Class' expected");
        std::string name(Trim(rest.substr(0, colon))), cls(Trim(rest.substr(colon + 1)));
        if (!IsIdentifier(name) || !IsIdentifier(cls)) Fail("'object Name: Class' expected");
        return {name, cls};
    }

    void ApplyProperty(TComponent& target, TForm& form, const std::string& name, const std::string& cls) {
        const auto eq = line_.find('=');
        if (eq == std::string_view::npos) Fail("'Property = value' expected");
        std::string property(Trim(line_.substr(0, eq)));
        if (property.empty()) Fail("'Property = value' expected");
        TLayoutValue value = ParseValue(Trim(line_.substr(eq + 1)));
        if (!target.SetLayoutProperty(property, value, form))
            Fail("unknown property " + property + " of " + name + " (" + cls + ")");
    }

    TLayoutValue ParseValue(std::string_view v) {
        TLayoutValue value;
        value.line = lineNumber_;
        if (v.empty()) Fail("a value is missing");
        if (v.front() == '\'') {
            value.kind = TLayoutValue::Kind::String;
            std::size_t i = 1;
            for (;;) {
                if (i >= v.size()) Fail("unterminated text");
                if (v[i] == '\'') {
                    if (i + 1 < v.size() && v[i + 1] == '\'') { value.text += '\''; i += 2; continue; }
                    break;
                }
                value.text += v[i++];
            }
            if (i + 1 != v.size()) Fail("text after the closing quote");
        } else if (v.front() == '[') {
            value.kind = TLayoutValue::Kind::Set;
            if (v.back() != ']') Fail("']' expected");
            std::string_view inner = Trim(v.substr(1, v.size() - 2));
            while (!inner.empty()) {
                const auto comma = inner.find(',');
                std::string item(Trim(inner.substr(0, comma)));
                if (!IsIdentifier(item)) Fail("a set holds identifiers");
                value.items.push_back(item);
                inner = comma == std::string_view::npos ? std::string_view() : Trim(inner.substr(comma + 1));
                if (comma != std::string_view::npos && inner.empty()) Fail("a set item is missing");
            }
        } else if (v.front() == '-' || std::isdigit(static_cast<unsigned char>(v.front()))) {
            value.kind = TLayoutValue::Kind::Integer;
            auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), value.integer);
            if (error != std::errc() || end != v.data() + v.size()) Fail("bad number " + std::string(v));
        } else {
            value.kind = TLayoutValue::Kind::Identifier;
            value.text = v;
            if (!IsIdentifier(value.text)) Fail("bad value " + value.text);
        }
        return value;
    }

    // Moves to the next line that holds something; false at the end of the text.
    bool NextLine() {
        while (pos_ < text_.size()) {
            auto nl = text_.find('\n', pos_);
            if (nl == std::string_view::npos) nl = text_.size();
            line_ = Trim(text_.substr(pos_, nl - pos_));
            pos_ = nl + 1;
            ++lineNumber_;
            if (!line_.empty() && !line_.starts_with("//")) return true;
        }
        return false;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw Exception("Layout line " + std::to_string(lineNumber_) + ": " + what);
    }

    static std::string_view Trim(std::string_view s) {
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
        return s;
    }

    static bool IsIdentifier(const std::string& s) {
        if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
        for (char c : s)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string_view line_;
    int lineNumber_ = 0;
};

}  // namespace

void ReadLayout(std::string_view layout, TForm& form) { Reader(layout).ReadForm(form); }
