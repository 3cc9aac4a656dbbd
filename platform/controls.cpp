#include "platform/controls.h"

#include "platform/application.h"
#include "platform/exception.h"
#include "platform/form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

bool TFont::SetLayoutProperty(const std::string& name, const TLayoutValue& value) {
    if (name == "Font.Name") Name = value.AsString();
    else if (name == "Font.Height") Height = value.AsInt();
    else if (name == "Font.Charset") Charset = value.AsIdent();
    else if (name == "Font.Color") Color = value.AsIdent();
    else if (name == "Font.Style") Style = value.AsSet();
    else return false;
    return true;
}

QFont TFont::ToQFont() const {
    QFont font;
    // Faces without Chinese (the window's sans face) take the captions' Chinese from the Kai
    // face the layout uses for its Chinese labels, named as their fallback after the face's
    // own stand-ins (so that a face installed under the Chinese name does not take over the
    // Latin text). Left to itself the font system looks through the installed fonts for each
    // such character at every paint of the text, which made a button's repaint several times
    // slower.
    QStringList families{Q(Name)};
    families += QFont::substitutes(Q(Name));
    if (Name != kChineseFace) families += Q(kChineseFace);
    font.setFamilies(families);
    // Negative heights give the character height, positive ones the cell height; at the
    // layout's 96 pixels per inch both are close enough to the pixel size.
    font.setPixelSize(Height < 0 ? -Height : (Height > 0 ? Height : 11));
    for (const auto& s : Style) {
        if (s == "fsBold") font.setBold(true);
        else if (s == "fsItalic") font.setItalic(true);
        else if (s == "fsUnderline") font.setUnderline(true);
        else if (s == "fsStrikeOut") font.setStrikeOut(true);
    }
    return font;
}

TControl::TControl(TComponent* owner, QWidget* widget) : TComponent(owner), widget_(widget) {
    if (auto* form = dynamic_cast<TForm*>(owner)) widget->setParent(form->Window());
}

TControl::~TControl() { delete widget_.data(); }

bool TControl::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    QRect g = widget_->geometry();
    if (name == "Left") g.moveLeft(value.AsInt());
    else if (name == "Top") g.moveTop(value.AsInt());
    else if (name == "Width") g.setWidth(value.AsInt());
    else if (name == "Height") g.setHeight(value.AsInt());
    else if (name == "TabOrder") { tabOrder_ = value.AsInt(); return true; }
    else if (name == "ParentFont") { parentFont_ = value.AsBool(); return true; }
    else if (font_.SetLayoutProperty(name, value)) { parentFont_ = false; return true; }
    else return TComponent::SetLayoutProperty(name, value, root);
    widget_->setGeometry(g);
    return true;
}

void TControl::Loaded() {
    if (!parentFont_) widget_->setFont(font_.ToQFont());
    widget_->show();
}

TLabel::TLabel(TComponent* owner) : TControl(owner, new QLabel), label_(static_cast<QLabel*>(Widget())) {
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

std::string TLabel::Caption() const { return label_->text().toStdString(); }
void TLabel::SetCaption(const std::string& caption) { label_->setText(Q(caption)); }

bool TLabel::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Caption") SetCaption(value.AsString());
    else return TControl::SetLayoutProperty(name, value, root);
    return true;
}

TEdit::TEdit(TComponent* owner) : TControl(owner, new QLineEdit), edit_(static_cast<QLineEdit*>(Widget())) {
    // No length limit: the fields take whatever is typed or pasted.
    edit_->setMaxLength(std::numeric_limits<int>::max());
}

std::string TEdit::Text() const { return edit_->text().toStdString(); }
void TEdit::SetText(const std::string& text) { edit_->setText(Q(text)); }

bool TEdit::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Text") SetText(value.AsString());
    else return TControl::SetLayoutProperty(name, value, root);
    return true;
}

TButton::TButton(TComponent* owner)
    : TControl(owner, new QPushButton), button_(static_cast<QPushButton*>(Widget())) {
    button_->setAutoDefault(false);
    QObject::connect(button_, &QPushButton::clicked, button_, [this] { Click(); });
}

std::string TButton::Caption() const { return button_->text().toStdString(); }
void TButton::SetCaption(const std::string& caption) { button_->setText(Q(caption)); }

void TButton::Click() {
    if (OnClick) Application->Guard([this] { OnClick(this); });
}

bool TButton::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Caption") SetCaption(value.AsString());
    else if (name == "OnClick") OnClick = root.MethodAddress(value.AsIdent(), value.line);
    else return TControl::SetLayoutProperty(name, value, root);
    return true;
}
