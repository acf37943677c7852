#include "services/network.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

int network_get_local_address(char *buffer, size_t size)
{
    if (size == 0) return 0;
    buffer[0] = 0;
    char ipv4[NI_MAXHOST] = "", ipv6[NI_MAXHOST] = "";
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == -1) return 0;
    for (ifaddrs *i = list; i; i = i->ifa_next) {
        if (!i->ifa_name || strcmp(i->ifa_name, "lo") == 0 || !i->ifa_addr) continue;
        int family = i->ifa_addr->sa_family;
        char *text = family == AF_INET ? ipv4 : family == AF_INET6 ? ipv6 : nullptr;
        if (!text || text[0]) continue; // the first of each family wins
        socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (getnameinfo(i->ifa_addr, length, text, NI_MAXHOST, nullptr, 0, NI_NUMERICHOST) != 0) text[0] = 0;
        if (strcmp(text, family == AF_INET ? "127.0.0.1" : "::1") == 0) text[0] = 0;
    }
    freeifaddrs(list);
    const char *chosen = ipv4[0] ? ipv4 : ipv6;
    size_t n = strlen(chosen);
    if (n == 0 || n + 1 > size) return 0;
    memcpy(buffer, chosen, n + 1);
    return 1;
}
