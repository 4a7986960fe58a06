#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Counts the frames of every electronic skin that publishes to an MQTT broker.

A publisher (electronic-skin --mqtt or "发布到 MQTT…", eskin-record --mqtt) sends a skin's
stream under a topic prefix, in the recording format: PREFIX/head (retained: the comment lines
and the header line), PREFIX/frames (rows, several whole lines a message), PREFIX/events
(marker, gap and frequency lines), PREFIX/status ("online", or "offline" once it is gone). This
client subscribes to every prefix that matches the URL's ("+" stands for one level) and prints,
once a second, the frames per second of each skin.

    python3 mqtt_client.py mqtt://127.0.0.1/lab/+
    python3 mqtt_client.py mqtts://eskin@broker.lab/lab/+ --cafile lab-ca.pem --seconds 10

The password of a user named in the URL is read from the environment variable
ESKIN_MQTT_PASSWORD. Needs Paho (Debian's python3-paho-mqtt); start from it for a program of
your own.
"""

import argparse
import os
import sys
import time
from collections import Counter
from urllib.parse import unquote, urlsplit

import paho.mqtt.client as mqtt


def broker_url(text):
    """mqtt[s]://[USER@]HOST[:PORT]/PREFIX, as the publishers take it."""
    url = urlsplit(text)
    if url.password is not None:
        raise argparse.ArgumentTypeError("the password belongs in ESKIN_MQTT_PASSWORD, not the URL")
    try:
        port = url.port
    except ValueError:
        port = -1
    prefix = unquote(url.path[1:])
    if url.scheme not in ("mqtt", "mqtts") or not url.hostname or port == -1 or not prefix:
        raise argparse.ArgumentTypeError(f"not mqtt[s]://[USER@]HOST[:PORT]/PREFIX: {text}")
    tls = url.scheme == "mqtts"
    return {"tls": tls, "host": url.hostname, "port": port or (8883 if tls else 1883),
            "user": unquote(url.username) if url.username else None, "prefix": prefix}


class Skins:
    """Frames counted by skin (the prefix they came under), shown every `interval` s."""

    def __init__(self, interval, out):
        self.interval, self.out = interval, out
        self.total, self.since_shown = Counter(), Counter()
        self.shown_at = time.monotonic()

    def message(self, topic, payload):
        skin, _, part = topic.rpartition("/")
        text = payload.decode("utf-8", "replace")
        if part == "frames":
            rows = sum(1 for line in text.splitlines() if line and not line.startswith("#"))
            self.total[skin] += rows
            self.since_shown[skin] += rows
        elif part == "status":
            print(f"{skin}: {text}", file=self.out)
        elif part == "events":
            print(f"{skin}: {text.strip()}", file=self.out)

    def tick(self):
        now = time.monotonic()
        if now - self.shown_at < self.interval:
            return
        elapsed, self.shown_at = now - self.shown_at, now
        for skin in sorted(self.total):
            print(f"{skin}: {self.since_shown[skin] / elapsed:.1f} frames/s "
                  f"({self.total[skin]} frames)", file=self.out)
        self.since_shown.clear()
        self.out.flush()

    def finish(self):
        for skin in sorted(self.total):
            print(f"{skin}: {self.total[skin]} frames in all", file=self.out)


def run(args, out=sys.stdout):
    url = args.url
    client = mqtt.Client(clean_session=True)
    if url["user"]:
        client.username_pw_set(url["user"], os.environ.get("ESKIN_MQTT_PASSWORD"))
    if url["tls"]:
        client.tls_set(ca_certs=args.cafile)  # the system's certificates without one
    skins = Skins(args.interval, out)
    refused = []

    def on_connect(client, userdata, flags, rc):
        if rc != 0:
            refused.append(mqtt.connack_string(rc))
            return
        prefix = url["prefix"]
        client.subscribe([(f"{prefix}/frames", 0), (f"{prefix}/events", 1),
                          (f"{prefix}/status", 1)])
        print(f"subscribed to {prefix} on {url['host']}:{url['port']}", file=out, flush=True)

    client.on_connect = on_connect
    client.on_message = lambda client, userdata, message: skins.message(message.topic,
                                                                        message.payload)
    try:
        client.connect(url["host"], url["port"], keepalive=10)
    except OSError as error:
        print(f"mqtt_client: cannot connect to {url['host']}:{url['port']}: "
              f"{error.strerror or error}", file=sys.stderr)
        return 1
    ends = time.monotonic() + args.seconds if args.seconds else None
    try:
        while not refused and (ends is None or time.monotonic() < ends):
            if client.loop(timeout=0.1) != mqtt.MQTT_ERR_SUCCESS:
                time.sleep(1)  # the broker is gone: try again a second later
                try:
                    client.reconnect()
                except OSError:
                    pass
            skins.tick()
    except KeyboardInterrupt:
        pass  # the totals, as at the end of the time
    client.disconnect()
    if refused:
        print(f"mqtt_client: the broker refused the connection: {refused[0]}", file=sys.stderr)
        return 1
    skins.finish()
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("url", type=broker_url, help="mqtt[s]://[USER@]HOST[:PORT]/PREFIX")
    parser.add_argument("--cafile", help="the certificate authority of an mqtts broker (PEM)")
    parser.add_argument("--seconds", type=float, default=0, help="stop after S seconds")
    parser.add_argument("--interval", type=float, default=1.0,
                        help="seconds between two reports (default 1)")
    return run(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
