// A firmware application in miniature, in C++: the cipher and the codec classes.
#include <ozu_dnsupdate/CodecBase64.h>
#include <ozu_dnsupdate/DES.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool CipherRoundTrips()
{
    const std::string message = "id=SN0001&mac=00:11:22:33:44:55&port=80";
    const auto des = std::make_unique<DES>();
    des->InitializeKey("K3Y4TEST", false);
    des->EncryptAnyLength(message, false);
    const std::string ciphertext = des->GetCiphertextAnyLength();
    des->DecryptAnyLength(ciphertext, false);
    return ciphertext.size() == 16 * ((message.size() + 7) / 8) && message == des->GetPlaintextAnyLength();
}

bool CodecRoundTrips()
{
    const unsigned char bytes[] = {0x00, 0x7F, 0x80, 0xFF, 'o', 'z', 'u'};
    CommonKit::CCodecBase64 codec;
    std::string text;
    const int length = codec.Encode(bytes, sizeof bytes, text);
    unsigned char decoded[sizeof bytes + 3] = {};
    const int count = codec.Decode(text.data(), length, decoded);
    return text == "AH+A/296dQ==" && count == static_cast<int>(sizeof bytes) &&
           std::memcmp(decoded, bytes, sizeof bytes) == 0;
}

}  // namespace

int main()
{
    const bool cipherOk = CipherRoundTrips();
    const bool codecOk = CodecRoundTrips();
    std::printf("cipher %s, codec %s\n", cipherOk ? "ok" : "FAILED", codecOk ? "ok" : "FAILED");
    return cipherOk && codecOk ? 0 : 1;
}
