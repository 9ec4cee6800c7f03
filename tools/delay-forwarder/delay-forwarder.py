#!/usr/bin/env python3
"""A TCP forwarder on 127.0.0.1 that makes a server on loopback look far away (for benchmarks).

  delay-forwarder.py LISTEN_PORT TARGET_PORT [--rtt-ms N]   (default 50)

Each new connection waits one round trip before it is connected on, as a TCP handshake over a long
path would; every chunk then arrives half a round trip after it was sent, in each direction, in order.
Prints "listening on 127.0.0.1:PORT" once it accepts; stops on SIGTERM or SIGINT.
"""
import argparse
import asyncio
import signal
import time


async def pipe(reader, writer, delay):
    """Copies `reader` to `writer`, each chunk delayed by `delay` seconds from its arrival."""
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, chunk = await queue.get()
            if chunk is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(chunk)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    delivery = asyncio.ensure_future(deliver())
    try:
        while True:
            chunk = await reader.read(65536)
            if not chunk:
                break
            queue.put_nowait((time.monotonic() + delay, chunk))
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((0, None))
    try:
        await delivery
    except (ConnectionError, OSError):
        pass


async def serve(listen_port, target_port, rtt):
    async def handle(client_reader, client_writer):
        await asyncio.sleep(rtt)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        for writer in (client_writer, server_writer):
            sock = writer.get_extra_info("socket")
            if sock is not None:
                import socket
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await asyncio.gather(pipe(client_reader, server_writer, rtt / 2), pipe(server_reader, client_writer, rtt / 2))
        for writer in (client_writer, server_writer):
            writer.close()

    server = await asyncio.start_server(handle, "127.0.0.1", listen_port, backlog=512)
    print("listening on 127.0.0.1:%d" % server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("listen_port", type=int)
    parser.add_argument("target_port", type=int)
    parser.add_argument("--rtt-ms", type=float, default=50)
    args = parser.parse_args()
    asyncio.run(serve(args.listen_port, args.target_port, args.rtt_ms / 1000))


if __name__ == "__main__":
    main()
