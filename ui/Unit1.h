// The main window: four entry fields with their labels, Connect and Disconnect, the picture
// area and the HTTP client, all created from the stored layout in Unit1.layout.
#pragma once

#include "platform/form.h"
#include "platform/http_client.h"
#include "platform/image.h"

class TForm1 : public TForm {
public:
    explicit TForm1(TComponent* Owner);

    TIdHTTP* const IdHTTP1 = Field<TIdHTTP>("IdHTTP1");
    TButton* const Button1 = Field<TButton>("Button1");
    TButton* const Button2 = Field<TButton>("Button2");
    TLabel* const Label1 = Field<TLabel>("Label1");
    TEdit* const Edit1 = Field<TEdit>("Edit1");
    TLabel* const Label2 = Field<TLabel>("Label2");
    TEdit* const Edit2 = Field<TEdit>("Edit2");
    TLabel* const Label3 = Field<TLabel>("Label3");
    TEdit* const Edit3 = Field<TEdit>("Edit3");
    TLabel* const Label4 = Field<TLabel>("Label4");
    TEdit* const Edit4 = Field<TEdit>("Edit4");
    TImage* const Image1 = Field<TImage>("Image1");

    /// Connect: applies the settings, opens the connection and fetches one snapshot.
    void Button1Click(TObject* Sender);
    /// Disconnect: closes the connection.
    void Button2Click(TObject* Sender);

    /// Connect's first stage: applies the four settings and opens the connection when the
    /// address and port fields are filled; does nothing otherwise.
    void ConfigureAndOpen();
};

extern TForm1* Form1;
