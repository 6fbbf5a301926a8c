// A firmware application in miniature, in C++: the cipher and the codec classes.
#include <ozu_dnsupdate/CodecBase64.h>
#include <ozu_dnsupdate/DES.h>

#include <cstdio>
#include <memory>
#include <string>

int main()
{
    const std::string message = "id=SN0001&mac=00:11:22:33:44:55&port=80";
    const auto des = std::make_unique<DES>();
    des->InitializeKey("K3Y4TEST", false);
    des->EncryptAnyLength(message, false);
    des->DecryptAnyLength(des->GetCiphertextAnyLength(), false);
    const unsigned char bytes[] = {0x00, 0x7F, 0x80, 0xFF, 'o', 'z', 'u'};
    std::string text;
    CommonKit::CCodecBase64().Encode(bytes, sizeof bytes, text);
    const bool ok = des->GetPlaintextAnyLength() == message && text == "AH+A/296dQ==";
    std::printf("cipher and codec %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
