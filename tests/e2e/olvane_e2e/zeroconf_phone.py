"""A phone on another network: resolves the agent's service by its name with
python3-zeroconf, and pairs through the address and port it found. Run in its namespace:
    python3 -m olvane_e2e.zeroconf_phone <service name> <pairing code> <interface address>
It prints one JSON object: the address and port, and the agent's replies."""
import json
import sys

from zeroconf import IPVersion, Zeroconf

from .phone import Phone

name, code, interface = sys.argv[1:4]
zeroconf = Zeroconf(interfaces=[interface], ip_version=IPVersion.V4Only)
info = zeroconf.get_service_info("_olvane._tcp.local.", name + "._olvane._tcp.local.", 20000)
zeroconf.close()
phone = Phone(info.port, host=info.parsed_addresses()[0])
print(json.dumps({"address": info.parsed_addresses()[0], "port": info.port,
                  "hello": phone.request({"t": "hello"}), "pair": phone.pair(code)}))
phone.close()
