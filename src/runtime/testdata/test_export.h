#pragma once

// Marks a function of a test library as exported under its plain C name.
#ifdef _WIN32
#define KYR_EXPORT extern "C" __declspec(dllexport)
#else
#define KYR_EXPORT extern "C" __attribute__((visibility("default")))
#endif
