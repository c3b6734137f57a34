// How the connection to the source server is encrypted, and whether the
// server's certificate is checked: the converter's --encrypt,
// --trust-server-certificate and --ca-file, and the wizard's check boxes.
#pragma once

#include <string>

namespace talvoro::odbc {

struct SourceEncryption {
  // The whole connection must be encrypted (--encrypt); without it the logon is
  // encrypted whenever the server can encrypt, and everything when it forces it.
  bool required = false;
  // Accept whatever certificate the server shows, a self-signed one included
  // (--trust-server-certificate).
  bool trustServerCertificate = false;
  // The certificates (PEM) of the authorities the server's certificate may be
  // signed by (--ca-file); empty: the system's trusted certificates.
  std::string caFile;

  // As SQL Server's own clients: the certificate is checked when encryption is
  // required, unless the user trusts the server; giving a CA file asks for the
  // check whenever the connection is encrypted.
  bool ChecksCertificate() const {
    return !trustServerCertificate && (required || !caFile.empty());
  }
};

}  // namespace talvoro::odbc
