#!/usr/bin/perl
# Writes a release's .buildinfo, RECORD, by dpkg's own modules, in the chroot; prints
# each FILE's SHA-256 as sha256sum does, so that each is hashed once.
use strict;
use warnings;
use Dpkg::Arch qw(get_build_arch);
use Dpkg::Checksums;
use Dpkg::Control;
die "usage: write-buildinfo.pl NAME COMMIT EPOCH RECORD FILE...\n" unless @ARGV >= 5;
my ($version, $commit, $epoch, $output, @files) = @ARGV;
my $arch = get_build_arch();
my $record = Dpkg::Control->new(type => CTRL_FILE_BUILDINFO);
@{$record}{qw(Format Source Binary Architecture Version)} =
    ('1.0', 'calculator', 'calculator', "$arch source", $version);
my $checksums = Dpkg::Checksums->new();
$checksums->add_from_file($_, key => (m{([^/]+)$})[0]) for @files;
$checksums->export_to_control($record, use_files_for_md5 => 0);
$record->{'Build-Origin'} = 'Debian';
$record->{'Build-Architecture'} = $arch;
my @installed;
open(my $query, '-|', 'dpkg-query', '-W', '-f',
    '${db:Status-Abbrev}\t${Package}\t${Architecture}\t${Version}\n') or die "dpkg-query: $!";
while (<$query>) {
    my ($status, $package, $package_arch, $package_version) = split /\t/;
    chomp $package_version;
    next unless $status eq 'ii ';
    $package .= ":$package_arch" unless $package_arch eq $arch or $package_arch eq 'all';
    push @installed, "$package (= $package_version)";
}
close($query) or die "dpkg-query failed\n";
$record->{'Installed-Build-Depends'} = "\n" . join(",\n", sort @installed);
$record->{'Environment'} = "\n" . join("\n", qq{LC_ALL="$ENV{LC_ALL}"},
    qq{SOURCE_DATE_EPOCH="$epoch"}, qq{TZ="$ENV{TZ}"});
open(my $os, '<', '/etc/os-release') or die "/etc/os-release: $!";
my ($release) = map { /^VERSION_CODENAME=(\S+)$/ ? $1 : () } <$os>;
$record->{'X-Build-Debian-Release'} = $release;
$record->{'X-Source-Commit'} = $commit;
open(my $out, '>', $output) or die "$output: $!";
print $out $record->output;
close($out) or die "$output: $!";
print $checksums->get_checksum($_, 'sha256'), "  $_\n" for sort $checksums->get_files();
