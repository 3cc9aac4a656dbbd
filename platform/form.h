// A window built from its stored layout. Derived forms name their components as members
// (looked up once, by name and class) and hand their click handlers over by name.
#pragma once

#include "platform/controls.h"
#include "platform/exception.h"

#include <memory>
#include <string_view>
#include <utility>

class TForm : public TComponent {
public:
    using TMethodTable = std::vector<std::pair<std::string, TNotifyEvent>>;

    ~TForm() override;

    QWidget* Window() const { return window_.get(); }
    std::string Caption() const;
    const TFont& Font() const { return font_; }
    void Show();
    void Close();

    /// The handler named in the layout's event properties; raises when the form has none.
    TNotifyEvent MethodAddress(const std::string& name, int line) const;

    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;
    void Loaded() override;

protected:
    /// Creates the window and every component of `storedLayout`; raises when it cannot be read.
    TForm(TComponent* owner, std::string_view storedLayout, TMethodTable methods);

    /// The component called `name`, which must exist and be a T.
    template <class T>
    T* Field(const char* name) const {
        TComponent* found = FindComponent(name);
        if (!found)
            throw Exception(std::string("Layout: component ") + name + " is missing");
        T* typed = dynamic_cast<T*>(found);
        if (!typed)
            throw Exception(std::string("Layout: component ") + name + " has the wrong class");
        return typed;
    }

private:
    std::unique_ptr<QWidget> window_;
    TMethodTable methods_;
    TFont font_;
};
