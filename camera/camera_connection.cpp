// Connect's first stage and the Disconnect command: the four fields become the HTTP client's
// settings, and the client's connection is opened and closed.
#include "ui/Unit1.h"

namespace {
// StrToInt takes any int, but only these are TCP ports; anything else would quietly
// address a port the user did not type.
int CheckedPort(int port) {
    if (port < 1 || port > 65535)
        throw Exception("Port " + std::to_string(port) + " is out of range (1 to 65535)");
    return port;
}
}  // namespace

void TForm1::ConfigureAndOpen() {
    // Blanks count as filled: only an empty field means "leave the client as it is".
    if (Edit1->Text() == "") return;
    if (Edit2->Text() == "") return;
    IdHTTP1->Host = Edit1->Text();
    IdHTTP1->Port = CheckedPort(StrToInt(Edit2->Text()));
    IdHTTP1->Request->Username = Edit3->Text();
    IdHTTP1->Request->Password = Edit4->Text();
    IdHTTP1->Connect(-1);
}

void TForm1::Button2Click(TObject* /*Sender*/) { IdHTTP1->Disconnect(); }
