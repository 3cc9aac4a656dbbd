#include "ui/Unit1.h"

extern const std::string_view kStoredLayoutUnit1;

TForm1* Form1 = nullptr;

TForm1::TForm1(TComponent* Owner)
    : TForm(Owner, kStoredLayoutUnit1,
            {{"Button1Click", [this](TObject* sender) { Button1Click(sender); }},
             {"Button2Click", [this](TObject* sender) { Button2Click(sender); }}}) {}
