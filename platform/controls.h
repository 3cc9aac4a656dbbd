// Visual controls over Qt widgets: the properties a stored layout sets and the code reads.
#pragma once

#include "platform/component.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

/// A font as a layout describes it. A negative Height is the character height in pixels.
struct TFont {
    /// The face of the layout's Chinese text; other faces fall back on it for Chinese.
    static constexpr const char* kChineseFace = "標楷體";

    std::string Name = "MS Sans Serif";
    int Height = -11;
    std::string Charset = "DEFAULT_CHARSET";
    std::string Color = "clWindowText";
    std::vector<std::string> Style;

    /// Handles "Font.*" properties; false for any other name.
    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value);
    QFont ToQFont() const;
};

/// Base of everything placed on a form. Owns its widget (Qt may delete it first with its parent).
class TControl : public TComponent {
public:
    TControl(TComponent* owner, QWidget* widget);
    ~TControl() override;

    QWidget* Widget() const { return widget_.data(); }
    int Left() const { return widget_->x(); }
    int Top() const { return widget_->y(); }
    int Width() const { return widget_->width(); }
    int Height() const { return widget_->height(); }
    bool Enabled() const { return widget_->isEnabled(); }
    void SetEnabled(bool enabled) { widget_->setEnabled(enabled); }
    int TabOrder() const { return tabOrder_; }
    const TFont& Font() const { return font_; }
    bool ParentFont() const { return parentFont_; }

    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;
    void Loaded() override;

private:
    QPointer<QWidget> widget_;
    int tabOrder_ = -1;
    TFont font_;
    bool parentFont_ = true;
};

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;

private:
    QLabel* label_;
};

class TEdit : public TControl {
public:
    explicit TEdit(TComponent* owner);
    std::string Text() const;
    void SetText(const std::string& text);
    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;
    QLineEdit* LineEdit() const { return edit_; }

private:
    QLineEdit* edit_;
};

class TButton : public TControl {
public:
    explicit TButton(TComponent* owner);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    /// Runs the click handler as a user's click does, errors going to the error reporter.
    void Click();
    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;

    TNotifyEvent OnClick;

private:
    QPushButton* button_;
};
