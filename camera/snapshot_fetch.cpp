// The Connect command: open the camera connection, then fetch and show one snapshot.
#include "ui/Unit1.h"

void TForm1::Button1Click(TObject* /*Sender*/) {
    ConfigureAndOpen();
}
