// The Connect command: open the camera connection, then fetch one snapshot and show it.
#include "picture/jpeg_image.h"
#include "ui/Unit1.h"

namespace {

const char* const kSnapshotPath = "/cgi-bin/viewer/video.jpg";

// Turns the Connect button back on when the command ends, however it ends: the button is the
// user's only sign that a fetch is under way.
class ButtonBusy {
public:
    explicit ButtonBusy(TButton* button) : button_(button) { button_->SetEnabled(false); }
    ~ButtonBusy() { button_->SetEnabled(true); }
    ButtonBusy(const ButtonBusy&) = delete;
    ButtonBusy& operator=(const ButtonBusy&) = delete;

private:
    TButton* button_;
};

// The address becomes the URL's host. A '/', '?', '#' or '@' in it would end the host there
// and make the rest a path, a query, a fragment or a user name: the request would go for
// another path than the snapshot's.
void CheckAddressForUrl(const std::string& address) {
    const std::size_t at = address.find_first_of("/?#@");
    if (at != std::string::npos)
        throw Exception(std::string("The camera address must be a host name or an IP address, without '") +
                        address[at] + "'");
}

}  // namespace

void TForm1::Button1Click(TObject* /*Sender*/) {
    ConfigureAndOpen();
    const ButtonBusy busy(Button1);
    // Declared after `busy`, so both are released before the button comes back on.
    auto stream = std::make_unique<TMemoryStream>();
    auto jpeg = std::make_unique<TJPEGImage>();
    CheckAddressForUrl(Edit1->Text());
    const std::string url = "http://" + Edit1->Text() + kSnapshotPath;
    IdHTTP1->Get(url, *stream);
    stream->SetPosition(0);
    jpeg->LoadFromStream(*stream);
    Image1->SetStretch(true);
    Image1->Picture()->Assign(jpeg.get());
    jpeg.reset();
    stream.reset();
}
