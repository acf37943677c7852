// network: the machine's network address, as a device on the same network would reach it.
#pragma once
#include <stddef.h>

// The first IPv4 address of an interface other than "lo" (not 127.0.0.1), else the first
// such IPv6 address (not ::1), as numeric text in buffer; 0 when there is none or it does not
// fit with its NUL.
int network_get_local_address(char *buffer, size_t size);
