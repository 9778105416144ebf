"""XOR with a repeating key: the sample ransomware's cipher (a server-distributed library)."""


def xor(data, key):
    if not key:
        raise ValueError("empty key")
    return bytes(b ^ key[i % len(key)] for i, b in enumerate(data))
