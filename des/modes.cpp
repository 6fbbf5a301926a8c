// The DES members that run on the word engine: single blocks, messages of any length, triple DES and files.
#include "des/modes.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "des/word_blocks.h"

using ozu::des::WordBlocks;

void DES::EncryptData(std::string data, bool slot, bool hex_form)
{
    WordBlocks(*this).encrypt(data.data(), data.size(), slot, hex_form);
}

void DES::DecryptData(std::string data, bool slot, bool hex_form)
{
    WordBlocks(*this).decrypt(data.data(), data.size(), slot, hex_form);
}

std::string DES::FillToEightBits(std::string text)
{
    if (!text.empty() && text.size() < static_cast<std::size_t>(ozu::des::kBlockBytes)) {
        text.append(ozu::des::kBlockBytes - text.size(), ozu::des::kPaddingMark);
    }
    return text;
}

void DES::CleanPlaintextMark(int count)
{
    // Counts outside 0..4088 never come from a decipherment and are ignored; below 7 the window
    // starts at the beginning of the buffer. Either way nothing outside it is touched.
    if (count <= 0 || count > ozu::des::kMaxMessageChars) {
        return;
    }
    m_cPlaintextAnyLength[count] = '\0';
    const int window_length = std::min(count, ozu::des::kMarkWindow);
    char* window = m_cPlaintextAnyLength + count - window_length;
    const int marks = ozu::des::trailing_mark_count(window, window_length);
    std::fill_n(window + window_length - marks, marks, '\0');
}

void DES::EncryptAnyLength(std::string text, bool slot)
{
    WordBlocks blocks(*this);
    ozu::des::encrypt_any_length(*this, blocks, text, slot);
}

void DES::DecryptAnyLength(std::string text, bool slot)
{
    WordBlocks blocks(*this);
    ozu::des::decrypt_any_length(*this, blocks, text, slot);
}

void DES::TripleEncrypt(std::string block, bool hex_form)
{
    WordBlocks blocks(*this);
    ozu::des::triple_encrypt(*this, blocks, block.data(), block.size(), hex_form);
}

void DES::TripleDecrypt(std::string block, bool hex_form)
{
    WordBlocks blocks(*this);
    ozu::des::triple_decrypt(*this, blocks, block.data(), block.size(), hex_form);
}

void DES::TripleEncryptAnyLength(std::string text)
{
    WordBlocks blocks(*this);
    ozu::des::triple_encrypt_any_length(*this, blocks, text);
}

void DES::TripleDecryptAnyLength(std::string text)
{
    WordBlocks blocks(*this);
    ozu::des::triple_decrypt_any_length(*this, blocks, text);
}

bool DES::FileEncrypt(std::string path, bool triple)
{
    WordBlocks blocks(*this);
    return ozu::des::cipher_file(*this, blocks, path, path + ozu::des::kFileSuffix, triple, false);
}

bool DES::FileDecrypt(std::string path, bool triple)
{
    // Nothing would remain of a shorter path once the suffix is removed: refused before opening anything.
    if (path.size() < ozu::des::kFileSuffixLength) {
        return false;
    }
    WordBlocks blocks(*this);
    const std::string output_path = path.substr(0, path.size() - ozu::des::kFileSuffixLength);
    return ozu::des::cipher_file(*this, blocks, path, output_path, triple, true);
}
