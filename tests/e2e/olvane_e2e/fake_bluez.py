# SPDX-License-Identifier: GPL-3.0-or-later
"""A stand-in for bluetoothd, for kernels without Bluetooth: one powered adapter with what a
peripheral uses of BlueZ's D-Bus API. It reads our GATT tree and advertisement back, refusing
what bluetoothd refuses, and forwards a phone's reads to our characteristic. Tests steer it
through org.olvane.test.FakeBluez. Arguments: --address ADDRESS"""
import sys

import dbus
import dbus.lowlevel
import dbus.service

from olvane_e2e.stand_in import serve

ADAPTER_PATH = "/org/bluez/hci0"
OBJECT_MANAGER = "org.freedesktop.DBus.ObjectManager"
SERVICE = "org.bluez.GattService1"
CHARACTERISTIC = "org.bluez.GattCharacteristic1"
CONTROL, ADVERTISEMENT = "org.olvane.test.FakeBluez", "org.bluez.LEAdvertisement1"
PROPERTY_TYPES = {
    SERVICE: {"UUID": dbus.String, "Primary": dbus.Boolean},
    CHARACTERISTIC: {"UUID": dbus.String, "Service": dbus.ObjectPath, "Flags": dbus.Array},
}
# What each registration reads back from the registering program: interface, method, arguments.
READ_BACK = {"Application": (OBJECT_MANAGER, "GetManagedObjects", "", ()),
             "Advertisement": (dbus.PROPERTIES_IFACE, "GetAll", "s", (ADVERTISEMENT,))}


def bluez_error(name, message):
    return dbus.DBusException(message, name="org.bluez.Error." + name)


def application_problem(objects):
    """Why bluetoothd would refuse this GATT tree; None when it takes it."""
    for path, ifaces in objects.items():
        for iface, props in ifaces.items():
            for name, kind in PROPERTY_TYPES.get(iface, {}).items():
                if not isinstance(props.get(name), kind):
                    return "%s of %s is missing or not a %s" % (name, path, kind.__name__)
        service = ifaces.get(CHARACTERISTIC, {}).get("Service")
        if service is not None and SERVICE not in objects.get(service, {}):
            return "%s belongs to no service" % path
    return None if any(SERVICE in i for i in objects.values()) else "No object received"


class FakeBluez(dbus.service.FallbackObject):
    """Every object of the daemon, and the control interface on /org/olvane/test."""

    def __init__(self, bus):
        super().__init__(bus, "/")
        self.bus, self.powered = bus, True
        self.registered = {"Application": {}, "Advertisement": {}}

    @dbus.service.method(OBJECT_MANAGER, out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {ADAPTER_PATH: {"org.bluez.Adapter1": {"Powered": dbus.Boolean(self.powered)},
                               "org.bluez.GattManager1": {},
                               "org.bluez.LEAdvertisingManager1": {}}}

    def register(self, kind, sender, path, reply, error):
        if (sender, path) in self.registered[kind]:
            return error(bluez_error("AlreadyExists", "Already Exists"))

        def got(value):
            problem = application_problem(value) if kind == "Application" else None
            if problem:
                return error(bluez_error("Failed", problem))
            self.registered[kind][(sender, path)] = value
            reply()

        self.bus.call_async(sender, path, *READ_BACK[kind], reply_handler=got,
                            error_handler=lambda e: error(bluez_error("Failed", str(e))))

    def unregister(self, kind, sender, path):
        if self.registered[kind].pop((sender, path), None) is None:
            raise bluez_error("DoesNotExist", "Does Not Exist")

    @dbus.service.method("org.bluez.GattManager1", in_signature="oa{sv}", sender_keyword="sender",
                         async_callbacks=("reply", "error"))
    def RegisterApplication(self, path, options, sender, reply, error):
        self.register("Application", sender, path, reply, error)

    @dbus.service.method("org.bluez.GattManager1", in_signature="o", sender_keyword="sender")
    def UnregisterApplication(self, path, sender):
        self.unregister("Application", sender, path)

    @dbus.service.method("org.bluez.LEAdvertisingManager1", in_signature="oa{sv}",
                         sender_keyword="sender", async_callbacks=("reply", "error"))
    def RegisterAdvertisement(self, path, options, sender, reply, error):
        self.register("Advertisement", sender, path, reply, error)

    @dbus.service.method("org.bluez.LEAdvertisingManager1", in_signature="o",
                         sender_keyword="sender")
    def UnregisterAdvertisement(self, path, sender):
        self.unregister("Advertisement", sender, path)

    @dbus.service.method(CONTROL, in_signature="b")
    def SetPowered(self, on):
        self.powered = on
        signal = dbus.lowlevel.SignalMessage(ADAPTER_PATH, dbus.PROPERTIES_IFACE,
                                             "PropertiesChanged")
        signal.append("org.bluez.Adapter1", {"Powered": on}, [], signature="sa{sv}as")
        self.bus.send_message(signal)

    @dbus.service.method(CONTROL, out_signature="ba{sv}")
    def Registered(self):
        """Whether an application is registered, and the advertisement's properties."""
        ads = list(self.registered["Advertisement"].values())
        return bool(self.registered["Application"]), ads[0] if ads else {}

    @dbus.service.method(CONTROL, in_signature="ssq", out_signature="ay",
                         async_callbacks=("reply", "error"))
    def ReadCharacteristic(self, service_uuid, char_uuid, offset, reply, error):
        """A phone's read of a readable characteristic of a service, forwarded to its owner."""
        for (sender, _), objects in self.registered["Application"].items():
            for path, ifaces in objects.items():
                char = ifaces.get(CHARACTERISTIC)
                if not char or "read" not in char["Flags"]:
                    continue
                uuids = char["UUID"], objects[char["Service"]][SERVICE]["UUID"]
                if [u.lower() for u in uuids] == [char_uuid.lower(), service_uuid.lower()]:
                    options = {"offset": dbus.UInt16(offset),
                               "device": dbus.ObjectPath(ADAPTER_PATH + "/dev_1")}
                    return self.bus.call_async(
                        sender, path, CHARACTERISTIC, "ReadValue", "a{sv}", (options,),
                        lambda value: reply(bytes(value)), error, byte_arrays=True)
        error(bluez_error("Failed", "no readable characteristic " + char_uuid))


serve(sys.argv[2], "org.bluez", FakeBluez)
