#include "platform/form.h"

#include "platform/layout_reader.h"

#include <algorithm>

TForm::TForm(TComponent* owner, std::string_view storedLayout, TMethodTable methods)
    : TComponent(owner), window_(std::make_unique<QWidget>()), methods_(std::move(methods)) {
    window_->setFont(font_.ToQFont());
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    ReadLayout(storedLayout, *this);
}

TForm::~TForm() {
    // The components' widgets are children of the window: let them go before it does.
    DestroyComponents();
}

std::string TForm::Caption() const { return window_->windowTitle().toStdString(); }

void TForm::Show() { window_->show(); }
void TForm::Close() { window_->close(); }

TNotifyEvent TForm::MethodAddress(const std::string& name, int line) const {
    for (const auto& [method, handler] : methods_)
        if (method == name) return handler;
    throw Exception("Layout line " + std::to_string(line) + ": the form has no method " + name);
}

bool TForm::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Left") window_->move(value.AsInt(), window_->y());
    else if (name == "Top") window_->move(window_->x(), value.AsInt());
    else if (name == "Width") window_->resize(value.AsInt(), window_->height());
    else if (name == "Height") window_->resize(window_->width(), value.AsInt());
    else if (name == "Caption") window_->setWindowTitle(QString::fromStdString(value.AsString()));
    else if (name == "Color") (void)value.AsIdent();  // clBtnFace: the style's window colour
    else if (font_.SetLayoutProperty(name, value)) window_->setFont(font_.ToQFont());
    // Settings of the layout's own format, with no effect on how the window looks here.
    else if (name == "OldCreateOrder") (void)value.AsBool();
    else if (name == "PixelsPerInch" || name == "TextHeight") (void)value.AsInt();
    else return TComponent::SetLayoutProperty(name, value, root);
    return true;
}

void TForm::Loaded() {
    // Tab order: the controls that have a TabOrder, lowest first.
    std::vector<TControl*> tabbed;
    for (const auto& c : Components())
        if (auto* control = dynamic_cast<TControl*>(c.get()); control && control->TabOrder() >= 0)
            tabbed.push_back(control);
    std::stable_sort(tabbed.begin(), tabbed.end(),
                     [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
    for (std::size_t i = 1; i < tabbed.size(); ++i)
        QWidget::setTabOrder(tabbed[i - 1]->Widget(), tabbed[i]->Widget());
    for (TControl* c : tabbed) c->Widget()->setFocusPolicy(Qt::StrongFocus);
}
