// Encryption of request texts under the built-in key.
#ifndef OZU_DDNS_REQUEST_ENCRYPTION_H
#define OZU_DDNS_REQUEST_ENCRYPTION_H

// Writes the ciphertext text of in (lower-case hexadecimal, 16 digits per started 8 characters,
// then a NUL) to out, which may be in itself. Returns 0, or 1 with out untouched when there is
// no ciphertext.
int EncryptString(const char* in, char* out);

#endif
