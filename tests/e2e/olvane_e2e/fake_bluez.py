#!/usr/bin/python3
"""A stand-in for bluetoothd on a private bus, for machines whose kernel has no Bluetooth.

It owns org.bluez and offers one adapter, /org/bluez/hci0, with the parts of BlueZ's D-Bus
API that a peripheral uses: the ObjectManager on /, Adapter1 with its Powered property and
PropertiesChanged, GattManager1.RegisterApplication (which reads the application back with
GetManagedObjects and checks it as BlueZ does) and LEAdvertisingManager1.RegisterAdvertisement
(which reads the advertisement's properties). Tests steer it and read what it saw through
org.olvane.test.FakeBluez on /org/olvane/test.

Run from tests/e2e: python3 -m olvane_e2e.fake_bluez --address unix:path=...
[--unpowered] [--no-adapter] [--deny]
It prints "ready" once org.bluez is owned.
"""
import argparse
import json
import sys
import uuid

import dbus
import dbus.service

from olvane_e2e.stand_in import plain, serve

ADAPTER_PATH = "/org/bluez/hci0"
ADAPTER = "org.bluez.Adapter1"
GATT_MANAGER = "org.bluez.GattManager1"
AD_MANAGER = "org.bluez.LEAdvertisingManager1"
GATT_SERVICE = "org.bluez.GattService1"
GATT_CHARACTERISTIC = "org.bluez.GattCharacteristic1"
ADVERTISEMENT = "org.bluez.LEAdvertisement1"
OBJECT_MANAGER = "org.freedesktop.DBus.ObjectManager"
PROPERTIES = "org.freedesktop.DBus.Properties"
CONTROL = "org.olvane.test.FakeBluez"
CONTROL_PATH = "/org/olvane/test"

CHARACTERISTIC_FLAGS = {
    "broadcast", "read", "write-without-response", "write", "notify", "indicate",
    "authenticated-signed-writes", "extended-properties", "reliable-write",
    "writable-auxiliaries", "encrypt-read", "encrypt-write", "encrypt-authenticated-read",
    "encrypt-authenticated-write", "secure-read", "secure-write", "authorize",
}


class BluezError(dbus.DBusException):
    def __init__(self, name, message):
        super().__init__(message, name=name)


def failed(message):
    return BluezError("org.bluez.Error.Failed", message)


def valid_uuid(value):
    if not isinstance(value, dbus.String):
        return False
    try:
        uuid.UUID(str(value))
    except ValueError:
        return False
    return True


def check_application(objects):
    """What bluetoothd's database refuses, as an error message; None when all is well."""
    services = {path: ifaces[GATT_SERVICE] for path, ifaces in objects.items()
                if GATT_SERVICE in ifaces}
    if not services:
        return "No object received"
    for path, props in services.items():
        if not valid_uuid(props.get("UUID")):
            return "Invalid UUID in service %s" % path
        if not isinstance(props.get("Primary"), dbus.Boolean):
            return "Missing Primary in service %s" % path
    for path, ifaces in objects.items():
        props = ifaces.get(GATT_CHARACTERISTIC)
        if props is None:
            continue
        if not valid_uuid(props.get("UUID")):
            return "Invalid UUID in characteristic %s" % path
        service = props.get("Service")
        if not isinstance(service, dbus.ObjectPath) or service not in services:
            return "Characteristic %s belongs to no service" % path
        if not str(path).startswith(str(service) + "/"):
            return "Characteristic %s is not below its service" % path
        flags = props.get("Flags")
        if not isinstance(flags, dbus.Array) or not flags:
            return "Missing Flags in characteristic %s" % path
        if any(not isinstance(f, dbus.String) or f not in CHARACTERISTIC_FLAGS for f in flags):
            return "Invalid Flags in characteristic %s" % path
        value = props.get("Value")
        if value is not None and (not isinstance(value, dbus.Array) or
                                  any(not isinstance(b, dbus.Byte) for b in value)):
            return "Invalid Value in characteristic %s" % path
    return None


def check_advertisement(props):
    if props.get("Type") not in ("peripheral", "broadcast"):
        return "Invalid Type"
    uuids = props.get("ServiceUUIDs", dbus.Array([], signature="s"))
    if not isinstance(uuids, dbus.Array) or not all(valid_uuid(u) for u in uuids):
        return "Invalid ServiceUUIDs"
    name = props.get("LocalName")
    if name is not None and not isinstance(name, dbus.String):
        return "Invalid LocalName"
    return None


class Root(dbus.service.Object):
    """The daemon's object tree, as org.freedesktop.DBus.ObjectManager on /."""

    def __init__(self, bus, fake):
        super().__init__(bus, "/")
        self.fake = fake

    @dbus.service.method(OBJECT_MANAGER, out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        if self.fake.deny:
            raise BluezError("org.freedesktop.DBus.Error.AccessDenied",
                             "Rejected send message")
        objects = {}
        if self.fake.adapter is not None:
            objects[dbus.ObjectPath(ADAPTER_PATH)] = self.fake.adapter.interfaces()
        return objects

    @dbus.service.signal(OBJECT_MANAGER, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(OBJECT_MANAGER, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass


class Adapter(dbus.service.Object):
    """hci0: Adapter1, GattManager1 and LEAdvertisingManager1."""

    def __init__(self, bus, fake, powered):
        super().__init__(bus, ADAPTER_PATH)
        self.bus = bus
        self.fake = fake
        self.props = {
            "Address": dbus.String("00:AA:01:02:03:04"),
            "AddressType": dbus.String("public"),
            "Name": dbus.String("fake"),
            "Alias": dbus.String("fake"),
            "Powered": dbus.Boolean(powered),
            "Discoverable": dbus.Boolean(False),
            "Pairable": dbus.Boolean(True),
        }

    def interfaces(self):
        return {
            ADAPTER: dbus.Dictionary(self.props, signature="sv"),
            GATT_MANAGER: dbus.Dictionary({}, signature="sv"),
            AD_MANAGER: dbus.Dictionary({
                "ActiveInstances": dbus.Byte(len(self.fake.advertisements)),
                "SupportedInstances": dbus.Byte(4),
                "SupportedIncludes": dbus.Array(["tx-power", "appearance", "local-name"],
                                                signature="s"),
            }, signature="sv"),
        }

    def set_powered(self, on):
        self.props["Powered"] = dbus.Boolean(on)
        self.PropertiesChanged(ADAPTER, {"Powered": dbus.Boolean(on)}, [])

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.interfaces()[interface][name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.interfaces().get(interface, {})

    @dbus.service.method(PROPERTIES, in_signature="ssv")
    def Set(self, interface, name, value):
        if interface == ADAPTER and name == "Powered":
            self.set_powered(bool(value))
        else:
            raise BluezError("org.freedesktop.DBus.Error.PropertyReadOnly", name)

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(GATT_MANAGER, in_signature="oa{sv}", sender_keyword="sender",
                         async_callbacks=("reply", "error"))
    def RegisterApplication(self, path, options, sender, reply, error):
        self.fake.calls.append(["RegisterApplication", str(path)])
        refusal = self.fake.refusal("RegisterApplication")
        if refusal:
            return error(refusal)
        if (sender, path) in self.fake.applications:
            return error(BluezError("org.bluez.Error.AlreadyExists", "Already Exists"))
        app = self.bus.get_object(sender, path, introspect=False)

        def got(objects):
            problem = check_application(objects)
            if problem:
                return error(failed(problem))
            self.fake.applications[(sender, path)] = {
                "sender": str(sender), "path": str(path), "objects": plain(objects)}
            reply()

        app.GetManagedObjects(dbus_interface=OBJECT_MANAGER, reply_handler=got,
                              error_handler=lambda e: error(failed("Failed to read " + str(e))))

    @dbus.service.method(GATT_MANAGER, in_signature="o", sender_keyword="sender")
    def UnregisterApplication(self, path, sender):
        self.fake.calls.append(["UnregisterApplication", str(path)])
        if self.fake.applications.pop((sender, path), None) is None:
            raise BluezError("org.bluez.Error.DoesNotExist", "Does Not Exist")

    @dbus.service.method(AD_MANAGER, in_signature="oa{sv}", sender_keyword="sender",
                         async_callbacks=("reply", "error"))
    def RegisterAdvertisement(self, path, options, sender, reply, error):
        self.fake.calls.append(["RegisterAdvertisement", str(path)])
        refusal = self.fake.refusal("RegisterAdvertisement")
        if refusal:
            return error(refusal)
        if (sender, path) in self.fake.advertisements:
            return error(BluezError("org.bluez.Error.AlreadyExists", "Already Exists"))
        ad = self.bus.get_object(sender, path, introspect=False)

        def got(props):
            problem = check_advertisement(props)
            if problem:
                return error(BluezError("org.bluez.Error.InvalidArguments", problem))
            self.fake.advertisements[(sender, path)] = {
                "sender": str(sender), "path": str(path), "properties": plain(props)}
            reply()

        ad.GetAll(ADVERTISEMENT, dbus_interface=PROPERTIES, reply_handler=got,
                  error_handler=lambda e: error(failed("Failed to parse advertisement")))

    @dbus.service.method(AD_MANAGER, in_signature="o", sender_keyword="sender")
    def UnregisterAdvertisement(self, path, sender):
        self.fake.calls.append(["UnregisterAdvertisement", str(path)])
        if self.fake.advertisements.pop((sender, path), None) is None:
            raise BluezError("org.bluez.Error.DoesNotExist", "Does Not Exist")


class Control(dbus.service.Object):
    """What the tests use: steer the fake and read back what it saw."""

    def __init__(self, bus, fake):
        super().__init__(bus, CONTROL_PATH)
        self.bus = bus
        self.fake = fake

    @dbus.service.method(CONTROL, in_signature="b")
    def SetPowered(self, on):
        self.fake.adapter.set_powered(bool(on))

    @dbus.service.method(CONTROL, in_signature="sss")
    def Refuse(self, method, name, message):
        """The next call of method fails with this D-Bus error."""
        self.fake.refusals[str(method)] = BluezError(str(name), str(message))

    @dbus.service.method(CONTROL, out_signature="s")
    def Application(self):
        apps = list(self.fake.applications.values())
        return json.dumps(apps[0]) if apps else ""

    @dbus.service.method(CONTROL, out_signature="s")
    def Advertisement(self):
        ads = list(self.fake.advertisements.values())
        return json.dumps(ads[0]) if ads else ""

    @dbus.service.method(CONTROL, out_signature="s")
    def Calls(self):
        return json.dumps(self.fake.calls)

    @dbus.service.method(CONTROL, in_signature="sq", out_signature="ay",
                         async_callbacks=("reply", "error"))
    def ReadCharacteristic(self, wanted, offset, reply, error):
        """A phone's read of the characteristic with this UUID, as bluetoothd forwards it."""
        for app in self.fake.applications.values():
            for path, ifaces in app["objects"].items():
                props = ifaces.get(GATT_CHARACTERISTIC)
                if props and props["UUID"].lower() == str(wanted).lower():
                    chrc = self.bus.get_object(app["sender"], path, introspect=False)
                    options = dbus.Dictionary({
                        "offset": dbus.UInt16(offset), "mtu": dbus.UInt16(185),
                        "device": dbus.ObjectPath(ADAPTER_PATH + "/dev_11_22_33_44_55_66"),
                        "link": dbus.String("LE")}, signature="sv")
                    chrc.ReadValue(options, dbus_interface=GATT_CHARACTERISTIC,
                                   byte_arrays=True, reply_handler=lambda v: reply(bytes(v)),
                                   error_handler=error)
                    return
        error(failed("no characteristic " + str(wanted)))

    @dbus.service.method(CONTROL)
    def ReleaseAdvertisement(self):
        """What bluetoothd does when it drops an advertisement on its own."""
        for (sender, path) in list(self.fake.advertisements):
            del self.fake.advertisements[(sender, path)]
            ad = self.bus.get_object(sender, path, introspect=False)
            ad.Release(dbus_interface=ADVERTISEMENT, ignore_reply=True)


class FakeBluez:
    def __init__(self, bus, powered, with_adapter, deny):
        self.deny = deny
        self.calls = []
        self.refusals = {}
        self.applications = {}
        self.advertisements = {}
        self.root = Root(bus, self)
        self.adapter = Adapter(bus, self, powered) if with_adapter else None
        self.control = Control(bus, self)

    def refusal(self, method):
        return self.refusals.pop(method, None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--unpowered", action="store_true")
    parser.add_argument("--no-adapter", action="store_true")
    parser.add_argument("--deny", action="store_true")
    args = parser.parse_args()

    serve(args.address, "org.bluez",
          lambda bus: FakeBluez(bus, not args.unpowered, not args.no_adapter, args.deny))


if __name__ == "__main__":
    sys.exit(main())
