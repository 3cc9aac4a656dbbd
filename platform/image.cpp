#include "platform/image.h"

#include "platform/application.h"

#include <QPaintEvent>
#include <QPainter>

// The widget that paints the picture. Errors raised while drawing cannot be shown from inside a
// paint (a modal box would paint again), so the application shows them once the paint is over.
class TImage::Area : public QWidget {
public:
    explicit Area(TImage* owner) : owner_(owner) { setAttribute(Qt::WA_OpaquePaintEvent, false); }
    void Detach() { owner_ = nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!owner_) return;
        QPainter painter(this);
        try {
            owner_->Paint(painter);
        } catch (...) {
            Application->PostException(std::current_exception());
        }
    }

private:
    TImage* owner_;
};

void TPicture::Assign(const TGraphic* graphic) {
    graphic_ = graphic ? graphic->Clone() : nullptr;
    if (OnChange) OnChange();
}

TImage::TImage(TComponent* owner) : TControl(owner, new Area(this)) {
    picture_.OnChange = [this] { Widget()->update(); };
}

TImage::~TImage() {
    if (auto* area = static_cast<Area*>(Widget())) area->Detach();
}

void TImage::SetStretch(bool stretch) {
    stretch_ = stretch;
    Widget()->update();
}

void TImage::Paint(QPainter& painter) {
    TGraphic* graphic = picture_.Graphic();
    if (!graphic) return;
    const QRect dest = stretch_ ? QRect(0, 0, Width(), Height())
                                : QRect(0, 0, graphic->Width(), graphic->Height());
    graphic->Draw(painter, dest);
}

bool TImage::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Stretch") SetStretch(value.AsBool());
    else return TControl::SetLayoutProperty(name, value, root);
    return true;
}
