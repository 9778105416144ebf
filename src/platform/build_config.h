#pragma once

/// Values fixed when the tool is built (see cmake/KyrDecryptBuildConfig.cmake).
/// The core declares them; each executable links the configuration it was built for.
namespace Kyrowan::BuildConfig {

/// Host name of the one package server the tool talks to.
const char* ServerHost();
/// HTTPS port of that server.
int ServerPort();
/// Path of a PEM bundle of trusted CAs; empty means the platform's default trust.
const char* CaBundlePath();
/// The package-signing public key, PEM "RSA PUBLIC KEY" text.
const char* SigningKeyPem();
/// The first root of the signed repository metadata, JSON text; empty when the build
/// checks no such metadata.
const char* TrustRootJson();

}  // namespace Kyrowan::BuildConfig
