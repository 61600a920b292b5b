// The handlers of kxf-host's commands. Each returns the exit status and leaves its data in ctx.out.
#pragma once

#include "Context.h"

namespace kxfhost {

int cmdKeygen(Context &ctx);
int cmdPubkeyExport(Context &ctx);
int cmdSign(Context &ctx);
int cmdVerify(Context &ctx);
int cmdCertImport(Context &ctx);
int cmdCertExport(Context &ctx);
int cmdDigest(Context &ctx);
int cmdEncrypt(Context &ctx);
int cmdDecrypt(Context &ctx);
int cmdMac(Context &ctx);

int cmdDemo(Context &ctx);

// Hash algorithm by name ("sm3", "sha1", "sha256"); 0 when unknown.
uint32_t hashAlgorithm(const std::string &name);

} // namespace kxfhost
