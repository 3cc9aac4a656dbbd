#include "platform/http_client.h"

#include "platform/exception.h"

struct TIdHTTP::Impl {};

TIdHTTP::TIdHTTP(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {}
TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::Connect(int) { throw Exception("not implemented yet"); }
void TIdHTTP::Disconnect() {}
bool TIdHTTP::Connected() const { return false; }
void TIdHTTP::Get(const std::string&, TStream&) { throw Exception("not implemented yet"); }

bool TIdHTTP::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Left" || name == "Top") (void)value.AsInt();  // where it sits at design time
    else if (name == "MaxLineAction") {
        const std::string& a = value.AsIdent();
        if (a == "maException") MaxLineAction = TIdMaxLineAction::maException;
        else if (a == "maSplit") MaxLineAction = TIdMaxLineAction::maSplit;
        else throw Exception("Layout line " + std::to_string(value.line) + ": bad MaxLineAction " + a);
    } else if (name == "AllowCookies") AllowCookies = value.AsBool();
    else if (name == "ProxyParams.BasicAuthentication") ProxyParams->BasicAuthentication = value.AsBool();
    else if (name == "ProxyParams.ProxyPort") ProxyParams->ProxyPort = value.AsInt();
    else if (name == "Request.ContentLength") Request->ContentLength = value.AsInt();
    else if (name == "Request.ContentRangeEnd") Request->ContentRangeEnd = value.AsInt();
    else if (name == "Request.ContentRangeStart") Request->ContentRangeStart = value.AsInt();
    else if (name == "Request.ContentType") Request->ContentType = value.AsString();
    else if (name == "Request.Accept") Request->Accept = value.AsString();
    else if (name == "Request.BasicAuthentication") Request->BasicAuthentication = value.AsBool();
    else if (name == "Request.UserAgent") Request->UserAgent = value.AsString();
    else if (name == "HTTPOptions") {
        ForceEncodeParams = false;
        for (const auto& option : value.AsSet()) {
            if (option == "hoForceEncodeParams") ForceEncodeParams = true;
            else throw Exception("Layout line " + std::to_string(value.line) + ": unknown HTTP option " + option);
        }
    } else return TComponent::SetLayoutProperty(name, value, root);
    return true;
}
