/* A generic Modbus server built on libmodbus, for the tests: every coil and register
 * of every table exists and reads 0. It knows nothing of the modules.
 *   modbusserver tcp               listens on 127.0.0.1, prints "port N", serves clients one by one
 *   modbusserver rtu PATH BAUD ID  answers as slave ID on the serial line PATH, 8N1
 * Requests that fail (bad CRC, another slave) are counted on stderr. */
#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

static const int kTableSize = 65536;

static void serve(modbus_t *ctx, modbus_mapping_t *mapping)
{
    uint8_t query[MODBUS_MAX_ADU_LENGTH];
    for (;;) {
        const int length = modbus_receive(ctx, query);
        if (length > 0) {
            modbus_reply(ctx, query, length, mapping);
        } else if (length < 0) {
            fprintf(stderr, "receive: %s\n", modbus_strerror(errno));
            // A frame it could not use: the next one may be good. Anything else ends the line.
            if (errno <= MODBUS_ENOBASE)
                return;
        }
    }
}

int main(int argc, char *argv[])
{
    setvbuf(stdout, NULL, _IONBF, 0);
    setvbuf(stderr, NULL, _IONBF, 0);
    modbus_mapping_t *mapping = modbus_mapping_new(kTableSize, kTableSize, kTableSize, kTableSize);
    if (!mapping)
        return 2;
    if (argc == 2 && strcmp(argv[1], "tcp") == 0) {
        modbus_t *ctx = modbus_new_tcp("127.0.0.1", 0);
        const int listener = modbus_tcp_listen(ctx, 1);
        struct sockaddr_in bound;
        socklen_t size = sizeof bound;
        if (listener < 0 || getsockname(listener, reinterpret_cast<struct sockaddr *>(&bound), &size) != 0)
            return 2;
        printf("port %d\n", ntohs(bound.sin_port));
        for (;;) {
            int socket = listener;
            if (modbus_tcp_accept(ctx, &socket) < 0)
                return 2;
            serve(ctx, mapping);
            modbus_close(ctx);
        }
    }
    if (argc == 5 && strcmp(argv[1], "rtu") == 0) {
        modbus_t *ctx = modbus_new_rtu(argv[2], atoi(argv[3]), 'N', 8, 1);
        if (!ctx || modbus_set_slave(ctx, atoi(argv[4])) != 0 || modbus_connect(ctx) != 0)
            return 2;
        modbus_set_debug(ctx, getenv("MODBUSSERVER_DEBUG") != nullptr);
        printf("ready\n");
        for (;;)
            serve(ctx, mapping);
    }
    fprintf(stderr, "usage: modbusserver tcp | modbusserver rtu PATH BAUD ID\n");
    return 2;
}
