// Components: objects owned by a window and described by its stored layout.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

/// One property value of a stored layout: 42, 'text', Identifier or [item, item].
struct TLayoutValue {
    enum class Kind { Integer, String, Identifier, Set };
    Kind kind = Kind::Integer;
    long long integer = 0;
    std::string text;                // String and Identifier
    std::vector<std::string> items;  // Set
    int line = 0;                    // where it stands in the layout, for messages

    /// Each raises an Exception naming the line when the value is of another kind.
    int AsInt() const;
    const std::string& AsString() const;
    const std::string& AsIdent() const;
    bool AsBool() const;  // the identifiers True and False
    const std::vector<std::string>& AsSet() const;
};

class TForm;

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TComponent* Owner() const { return owner_; }

    /// The components this one owns, in creation order.
    const std::vector<std::unique_ptr<TComponent>>& Components() const { return components_; }
    TComponent* FindComponent(const std::string& name) const;
    /// Takes ownership of `component`; it is destroyed with this one.
    TComponent* InsertComponent(std::unique_ptr<TComponent> component);

    /// Applies one property of the stored layout (`name` may be dotted, e.g. "Font.Height").
    /// Returns false for a property this class does not have; raises for a bad value.
    virtual bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root);
    /// Called once every property of the layout has been applied.
    virtual void Loaded() {}

protected:
    /// Destroys the owned components now, newest first.
    void DestroyComponents();

private:
    std::string name_;
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> components_;
};
