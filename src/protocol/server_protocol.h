#pragma once
// The package server's interface as the client, kyrpack's tree writer and the server all
// speak it: request paths, the latest-version word, the user agent and the size limits.
// Header-only and free of other includes of this project, so every layer may use it.
